#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "audit/audit_runner.h"
#include "core/frames.h"
#include "drivers/pty_board.h"
#include "drivers/sim_usb_library.h"
#include "model/board_model.h"
#include "platform/port_map.h"
#include "platform/qt_serial_line.h"
#include "platform/trace_log.h"
#include "shell/main_window.h"
#include "support/fake_file_chooser.h"
#include "support/fake_prompts.h"
#include "support/memory_settings_store.h"
#include "support/qstring_printer.h"
#include "support/session_fixture.h"

// tarvo-audit's road against the simulated board behind a real pseudo-terminal.
namespace tarvo::test {
namespace {

// The window (never shown) on Com1, which is the simulated board, every byte traced to a file.
struct AuditBench {
    explicit AuditBench(sim::BoardConfig board = {}, int tickMs = 10) : model(board), pty(model) {
        EXPECT_TRUE(pty.open());
        PortMap ports;
        ports.setOverride(1, pty.slavePath());
        QString error;
        trace = TraceLog::open(dir.filePath("trace.txt"), "test", &error);
        Platform p;
        p.serial =
            std::make_shared<TracingSerialLine>(std::make_shared<QtSerialLine>(ports), trace);
        p.usb =
            std::make_shared<TracingUsbLibrary>(std::make_shared<sim::SimUsbLibrary>(model), trace);
        p.settings = std::make_shared<MemorySettingsStore>();
        p.prompts = std::make_shared<FakePrompts>();
        p.files = std::make_shared<FakeFileChooser>();
        p.tickIntervalMs = tickMs;
        platform = p;
        w = std::make_unique<RetreiveAccountingApp>(std::move(p));
    }
    // Runs the event loop until the window's operation has ended.
    bool idle() {
        return QTest::qWaitFor([this] { return !w->session().busy(); }, 20000);
    }
    // The audit's own session on the same line, as tarvo-audit runs it: no window involved.
    std::vector<MeterReading> audit(const AuditPlan& plan) {
        BoardSession session(
            {platform.serial, platform.usb, platform.prompts, platform.tickIntervalMs});
        for (const char* name : {"Timer1", "Timer2"}) {
            QObject::connect(session.findChild<QTimer*>(QString::fromLatin1(name)),
                             &QTimer::timeout, [this] { ++ticks; });
        }
        AuditRunner runner(session, platform.clock);
        return done(runner.run(plan));
    }
    QStringList traceLines() {
        trace->flush();
        QFile f(dir.filePath("trace.txt"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n')
                                           : QStringList{};
    }

    QTemporaryDir dir;
    sim::BoardModel model;
    sim::PtyBoard pty;
    std::shared_ptr<TraceLog> trace;
    int ticks = 0;  // of the audit session's two coarse timers
    Platform platform;
    std::unique_ptr<RetreiveAccountingApp> w;
};

// JSON field of a terminal: the window's box that shows it and what the board holds.
std::map<QString, std::pair<QLineEdit*, QByteArray>> fieldsOf(RetreiveAccountingApp& w,
                                                              const sim::Terminal& t, int i) {
    auto n = [](qint64 v) { return QByteArray::number(v); };
    return {{"status", {w.Status[i], t.active ? "ON" : "OFF"}},
            {"pulseValue", {w.PulseInPerPoint[i], t.pulseValueText()}},
            {"multiplier", {w.PulseInMultiplier[i], t.multiplierText()}},
            {"valueIn", {w.ValueIn[i], t.valueInText()}},
            {"printUnit", {w.PrintMoneyOrPoints[i], t.printUnit}},
            {"received", {w.Received[i], n(t.received)}},
            {"returned", {w.Returned[i], n(t.returned)}},
            {"paidOut", {w.PaidOut[i], n(t.paidOut)}},
            {"coinInA", {w.CoinInA[i], n(t.coin1)}},
            {"coinInB", {w.CoinInB[i], n(t.coin2)}},
            {"coinInMultiplierA", {w.TxtCoinInMultiA[i], n(t.coinMultA)}},
            {"coinInMultiplierB", {w.TxtCoinInMultiB[i], n(t.coinMultB)}}};
}

// A number without its padding; any other text as it is.
QString plain(const QString& text) {
    bool number = false;
    const qint64 n = text.trimmed().toLongLong(&number);
    return number ? QString::number(n) : text;
}

TEST(AuditEndToEnd, RecordsHoldWhatTheWindowAndTheBoardShowForTheSameReport) {
    for (const bool kit : {false, true}) {
        SCOPED_TRACE(kit ? "kit" : "six panels");
        sim::BoardConfig config;
        config.kit = kit;
        AuditBench b(config);
        auto& t = b.model.state().terminals;
        t[0].received = 98765;
        t[0].coin2 = 31;
        t[0].coinMultB = 7;
        t[1].returned = 5;
        t[2].paidOut = 420;
        t[2].coin1 = 77;
        t[4].active = false;
        t[5].cents = true;
        const AuditPlan plan{0, {}, kit ? AuditTarget::Kit : AuditTarget::Brisko, {}};
        const auto readings = b.audit(plan);
        ASSERT_EQ(readings.size(), 1u);
        const QJsonArray json =
            QJsonDocument::fromJson(formatReadings(readings, RecordFormat::Json, false).toUtf8())
                .array();
        (kit ? b.w->Option3 : b.w->Option1)->click();

        // The same report, read by hand in the window, and what the board holds.
        b.w->Connect->click();
        ASSERT_TRUE(b.idle());
        b.w->cmdViewOnly->click();
        ASSERT_TRUE(b.idle());
        auto& w = *b.w;
        const sim::BoardState& s = b.model.state();
        EXPECT_EQ(w.TarvoBoardSerialNumber->text(), QString::fromLatin1(s.serial));
        EXPECT_EQ(w.FirmwareVersion->text(), QString::fromLatin1(s.firmware));
        EXPECT_EQ(w.PrinterFirmware->text(), QString::fromLatin1(s.printerFirmware));
        EXPECT_EQ(w.PrinterStatus->text(), "No Errors");
        const QJsonObject r = json.at(0).toObject();
        EXPECT_TRUE(r["error"].isNull());
        EXPECT_EQ(r["port"].toString(), "Com1");
        EXPECT_EQ(r["serialNumber"].toString(), w.TarvoBoardSerialNumber->text());
        EXPECT_EQ(r["firmwareVersion"].toString(), w.FirmwareVersion->text());
        EXPECT_EQ(r["printerFirmware"].toString(), w.PrinterFirmware->text());
        EXPECT_EQ(r["printerStatus"].toString(), w.PrinterStatus->text());
        const QJsonArray terminals = r["terminals"].toArray();
        ASSERT_EQ(terminals.size(), kit ? 1 : 6);
        for (int i = 0; i < terminals.size(); ++i) {
            const QJsonObject jt = terminals[i].toObject();
            EXPECT_EQ(jt["terminal"].toInt(), i + 1);
            const auto fields = fieldsOf(w, s.terminals[i], i);
            // The editors open over the filled boxes with the matching items chosen.
            EXPECT_EQ(w.cmbPulseValue[i]->currentText(), w.PulseInPerPoint[i]->text());
            EXPECT_GE(w.cmbPulseValue[i]->listIndex(), 0);
            EXPECT_FALSE(w.cmdWriteToTarvo[i]->isHidden());
            for (auto it = jt.begin(); it != jt.end(); ++it) {
                if (it.key() == "terminal") {
                    continue;
                }
                SCOPED_TRACE(it.key().toStdString() + " " + std::to_string(i));
                const auto& [box, held] = fields.at(it.key());
                EXPECT_EQ(it.value().toString(), box->text());
                EXPECT_EQ(plain(it.value().toString()), plain(QString::fromLatin1(held)));
            }
        }
        EXPECT_EQ(terminals[0].toObject()["received"].toString().trimmed(), "98765");
        for (int n = terminals.size(); n < 6; ++n) {
            EXPECT_TRUE(w.Received[n]->text().isEmpty() && w.PulseInPerPoint[n]->text().isEmpty());
        }
        EXPECT_TRUE(b.model.protocolErrors().isEmpty());
    }
}

TEST(AuditEndToEnd, ABusGivesARecordPerAddressInOrderAndAnErrorForTheSilentOne) {
    sim::BoardConfig config;
    config.multiDropAddress = 12;
    AuditBench b(config);
    const auto readings = b.audit({0, {}, AuditTarget::MultiDrop, {12, 3}});
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[0].address, 12);
    EXPECT_TRUE(readings[0].error.isEmpty()) << readings[0].error.toStdString();
    EXPECT_EQ(readings[0].terminals.size(), 6u);
    EXPECT_EQ(readings[1].address, 3);
    EXPECT_EQ(readings[1].error, "no answer from the board (0 characters received)");
    EXPECT_TRUE(readings[1].terminals.empty());
    // The address went out as an address byte, before each board's session frame.
    const QStringList lines = b.traceLines();
    EXPECT_EQ(lines.filter("TX ADDR 0C").size(), lines.filter("TX ADDR 03").size());
    EXPECT_GE(lines.filter("TX ADDR 0C").size(), 3);
    EXPECT_TRUE(b.model.protocolErrors().isEmpty())
        << b.model.protocolErrors().join('\n').toStdString();
}

// The audit reads a report only once the whole of it is in, however the board paces it: here
// the board stops before its last meter line for longer than the audit's quiet wait (two
// ticks) and well within its full wait (fifteen), and the record must still hold that line.
TEST(AuditEndToEnd, APauseBeforeTheLastLineIsWaitedOut) {
    constexpr int kTickMs = 30;
    sim::BoardConfig config;
    config.reportPauseMs = 5 * kTickMs;
    AuditBench b(config, kTickMs);
    for (int i = 0; i < 6; ++i) {
        b.model.state().terminals[static_cast<size_t>(i)].coin2 = 100 + i;
    }
    const auto readings = b.audit({0, {}, AuditTarget::System, {}});
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].error, "");
    ASSERT_EQ(readings[0].terminals.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(readings[0].terminals[static_cast<size_t>(i)].coinInB.trimmed().toInt(), 100 + i)
            << "terminal " << i + 1;
    }
}

TEST(AuditEndToEnd, NoAnswerEndsWithinTheWaitsWithAnErrorRecord) {
    struct Case {
        AuditTarget target;
        const char* error;
    } cases[] = {
        {AuditTarget::Brisko, "no answer from the board (0 characters received)"},
        {AuditTarget::System, "ERROR CONNECTING"},
    };
    for (const auto& c : cases) {
        sim::BoardConfig silent;
        silent.modem = sim::ModemResult::Silent;  // nobody dials: the board never hears a word
        AuditBench b(silent, 20);
        const auto readings = b.audit({0, "/dev/board", c.target, {}});
        // The connect probe and the first word's one second come to about 100 ticks of 20 ms,
        // fewer on a loaded machine; a second long wait would pass 150.
        EXPECT_GT(b.ticks, 0);
        EXPECT_LT(b.ticks, 150);
        ASSERT_EQ(readings.size(), 1u);
        EXPECT_EQ(readings[0].error, c.error);
        EXPECT_EQ(readings[0].port, "/dev/board");
    }
}

TEST(AuditEndToEnd, TheTraceHoldsTheSessionEnquiryRequestAndReportInOrder) {
    for (const int position : {0, RetreiveAccountingApp::kUsbPosition}) {
        SCOPED_TRACE(position);
        AuditBench b;
        const auto readings = b.audit({position, {}, AuditTarget::Brisko, {}});
        ASSERT_EQ(readings.size(), 1u);
        ASSERT_EQ(readings[0].error, "");
        QString stream;  // "T1D R4F ...": direction and byte, for every byte in order
        for (const QString& line : b.traceLines()) {
            const QString rest = line.mid(24);
            if (rest.startsWith("TX") || rest.startsWith("RX")) {
                for (const QString& hex : rest.mid(8).section("  |", 0, 0).split(' ')) {
                    stream += rest.left(1) + hex + ' ';
                }
            }
        }
        auto sent = [](const QByteArray& bytes, QString d = "T") {
            return d + QString::fromLatin1(bytes.toHex(' ').toUpper()).replace(" ", " " + d) + ' ';
        };
        const qsizetype session = stream.indexOf(sent(frames::openSession()));
        const qsizetype enquiry = stream.indexOf(sent(frames::enquiry().joined()), session);
        const qsizetype request = stream.indexOf(sent(frames::meterRequest().joined()), enquiry);
        const qsizetype report = stream.indexOf(sent(b.model.state().serial, "R"), request);
        EXPECT_GE(session, 0);
        EXPECT_GT(enquiry, session);
        EXPECT_GT(request, enquiry);
        EXPECT_GT(report, request);
    }
}

}  // namespace
}  // namespace tarvo::test
