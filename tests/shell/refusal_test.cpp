#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "accounting/cashout_log.h"
#include "accounting/meter_history_view.h"
#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "history/sqlite_store.h"
#include "location_law_clock/location_law_clock.h"
#include "pulse_editor/frm_set_pulses.h"
#include "support/window_fixture.h"

// A command the link refuses is never reported as sent, and a refused memory clear is not
// recorded in the meter history. While one board command runs, every other one in both
// windows is disabled, and one that reaches its handler anyway is refused without a byte on
// the line.
namespace tarvo::test {
namespace {

using App = RetreiveAccountingApp;

// The memory clears kept in the history file; -1 when it cannot be read.
int memoryClearsIn(const QString& path) {
    SqliteStore store(path, SqliteStore::Damaged::Refuse, {});
    store.setReadOnly(true);
    const auto clears = store.clears(false);
    return clears ? static_cast<int>(clears->size()) : -1;
}

// Each button says so when the line takes its frames, and the clear is recorded then.
TEST(Refusal, NoSuccessTextAndNoClearRecordedAfterARefusedFrame) {
    struct Button {
        std::function<void(App&)> click;
        QString sent;
    } const buttons[] = {
        {[](App& w) { w.locationLawClock().ButtonSendTimeAndDate_Click(); }, "Time and Date Sent"},
        {[](App& w) { w.locationLawClock().ButtonSendLocationInfo_Click(); },
         "Location Information Sent"},
        {[](App& w) { w.locationLawClock().ButtonSendLawInfo_Click(); }, "Law Information Sent"},
        {[](App& w) { w.remoteActions().ClearMemory_Click(); },
         "Clearing memory, please wait 30 seconds..."},
    };
    struct Case {
        const char* name;
        std::function<void(WindowFixture&)> arrange;  // after connecting
        QString status;                               // "": the frames are taken
    } cases[] = {
        {"taken", [](WindowFixture&) {}, ""},
        {"no connection", [](WindowFixture& f) { f.w().Connect->click(); }, "PLEASE CONNECT FIRST"},
        {"invalid address",
         [](WindowFixture& f) {
             // The address can change only while disconnected.
             f.w().Connect->click();
             ASSERT_TRUE(f.idle());
             f.w().MultiDropAddress->setEditText(QStringLiteral("5x"));
             ASSERT_TRUE(f.connect());
         },
         "INVALID MULTI DROP ADDRESS"},
        {"port gone without a word", [](WindowFixture& f) { f.serial->close(); },
         "CONNECTION LOST"},
    };
    for (const auto& c : cases) {
        for (const Button& b : buttons) {
            SCOPED_TRACE(std::string(c.name) + " / " + b.sent.toStdString());
            WindowFixture f;
            App& w = f.w();
            w.Option4->click();
            ASSERT_TRUE(f.idle());
            w.MultiDropAddress->setCurrentIndex(3);
            ASSERT_TRUE(f.connect());
            c.arrange(f);
            ASSERT_TRUE(f.idle());
            f.forgetSent();
            b.click(w);
            ASSERT_TRUE(f.idle());
            const bool taken = c.status.isEmpty();
            EXPECT_EQ(w.SystemMessage->text(), taken ? b.sent : c.status);
            EXPECT_EQ(f.serial->sent.empty(), !taken);
            // A clear is recorded after its handler returned, off the window's thread.
            const int clears = taken && b.sent.startsWith("Clearing") ? 1 : 0;
            EXPECT_TRUE(QTest::qWaitFor([&] {
                return memoryClearsIn(f.historyPath()) == clears && !w.meterHistory().busy();
            }));
        }
    }
}

// Runs `during` once, as soon as the meter request has gone out.
void onMeterRequest(WindowFixture& f, std::function<void()> during) {
    FakeSerialLine* line = f.serial.get();
    const auto answer = line->onWrite;
    auto pending = std::make_shared<std::function<void()>>(std::move(during));
    line->onWrite = [line, answer, pending](const QByteArray& bytes) {
        if (answer) {
            answer(bytes);
        }
        if (*pending && line->sentBytes().endsWith(QByteArray("\x80\x81\x81"))) {
            QTimer::singleShot(0, line, [fn = std::move(*pending)] { fn(); });
            *pending = nullptr;
        }
    };
}

TEST(OneOperationWindow, OtherCommandsDuringViewInfoAreDisabledAndRefused) {
    WindowFixture f;
    App& w = f.w();
    ASSERT_TRUE(f.connect());
    w.Command3->click();  // the pulse window's READ and WRITE are board commands too
    FrmSetPulses* pulses = w.pulseWindow();
    ASSERT_NE(pulses, nullptr);
    f.answerMeterRequests(sixPanelReport());
    QStringList enabledDuring;
    QByteArray sentDuring;
    onMeterRequest(f, [&] {
        for (QWidget* c : std::initializer_list<QWidget*>{
                 w.ButtonSendTimeAndDate, w.ClearMemory, w.ForceCashout[0], w.PutCoinIn[2],
                 w.cmdViewOnly, w.CmdAutoCalibrate, pulses->CmdRead, pulses->CmdWrite}) {
            if (c->isEnabled()) {
                enabledDuring << c->objectName();
            }
        }
        EXPECT_TRUE(w.Connect->isEnabled());  // Disconnect stays
        const QByteArray before = f.serial->sentBytes();
        // Handlers reached anyway (a shortcut, a queued click).
        w.locationLawClock().ButtonSendTimeAndDate_Click();
        w.remoteActions().ForceCashout_Click(0);
        w.cashoutLog().CmdViewLog_Click();
        w.meterReport().cmdViewOnly_Click();
        sentDuring = f.serial->sentBytes().mid(before.size());
    });
    w.cmdViewOnly->click();
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(enabledDuring.isEmpty()) << enabledDuring.join(' ').toStdString();
    EXPECT_TRUE(sentDuring.isEmpty()) << sentDuring.toHex().data();
    // View Info ends as if alone: the displays and the record are the board's.
    EXPECT_EQ(w.CoinInA[0]->text(), "000001004");
    EXPECT_EQ(w.PrinterFirmware->text(), "PRN-V1.02");
    EXPECT_TRUE(w.meterReport().lastReading().has_value());
    for (QWidget* c : std::initializer_list<QWidget*>{w.ButtonSendTimeAndDate, w.cmdViewOnly,
                                                      pulses->CmdRead, w.PutCoinIn[2]}) {
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    }
}

// A coin put in during a calibration would change the counted difference: it is refused and
// the calibration sends exactly what it sends alone.
TEST(OneOperationWindow, ACoinInDuringCalibrationIsRefused) {
    QByteArray alone;
    for (const bool interfere : {false, true}) {
        SCOPED_TRACE(interfere);
        WindowFixture f;
        App& w = f.w();
        ASSERT_TRUE(f.connect());
        f.answerMeterRequests(sixPanelReport());
        if (interfere) {
            onMeterRequest(f, [&] { w.remoteActions().PutCoinIn_Click(1); });
        }
        w.CmdTerminalToCalibrate->setCurrentIndex(0);
        w.CmdAutoCalibrate->click();
        ASSERT_TRUE(f.idle());
        if (!interfere) {
            alone = f.serial->sentBytes();
            ASSERT_FALSE(alone.isEmpty());
        } else {
            EXPECT_EQ(f.serial->sentBytes().toHex(' '), alone.toHex(' '));
        }
    }
}

// Disconnect during View Info ends the read; the close goes out once the read has returned,
// never inside one of its frames, and the window is left disconnected.
TEST(OneOperationWindow, DisconnectDuringViewInfoEndsItCleanly) {
    WindowFixture f({}, 40);
    App& w = f.w();
    w.Option4->click();
    w.MultiDropAddress->setCurrentIndex(3);
    ASSERT_TRUE(f.connect());
    onMeterRequest(f, [&] { w.Connect->click(); });
    w.cmdViewOnly->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Connect->text() == "Connect" && f.idle(); }));
    EXPECT_EQ(w.session().Connected, 0);
    EXPECT_EQ(w.SystemMessage->text(), "Disconneted");
    EXPECT_FALSE(w.cmdViewOnly->isEnabled());
    // Enquiry, meter request, close session: each whole behind its address and length.
    EXPECT_EQ(f.serial->sentBytes().toHex(' '),
              QByteArray("03 01 05 03 03 80 81 81 03 03 1d 45 00"));
}

// A device that goes away during View Info: "CONNECTION LOST" stays on screen and View Info
// stays disabled while nothing is connected.
TEST(Refusal, UnpluggingDuringViewInfoLeavesTheLossOnScreen) {
    WindowFixture f({}, 20);
    App& w = f.w();
    ASSERT_TRUE(f.connect());
    onMeterRequest(f, [line = f.serial.get()] {
        line->receive("partial report");
        line->close();
        emit line->lineLost(QStringLiteral("device removed"));
    });
    w.cmdViewOnly->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.SystemMessage->text(), "CONNECTION LOST");
    EXPECT_EQ(w.Connect->text(), "Connect");
    EXPECT_FALSE(w.cmdViewOnly->isEnabled());
    EXPECT_FALSE(w.ButtonSendTimeAndDate->isEnabled());
    EXPECT_EQ(w.session().Connected, 0);
    ASSERT_EQ(f.prompts->messages.size(), 1u);
    EXPECT_TRUE(f.prompts->messages[0].text.contains("device removed"));
}

}  // namespace
}  // namespace tarvo::test
