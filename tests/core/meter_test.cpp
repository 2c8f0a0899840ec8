#include "core/meter_reading.h"
#include "core/meter_report.h"
#include "support/qstring_printer.h"
#include "support/sample_reports.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <climits>
#include <functional>

namespace tarvo {
namespace {

const QString kSixPanel = test::sixPanelSample();

// The kit's report: one terminal, values two characters closer to their labels.
const QString kKit = QStringLiteral(
    "*S|0|KIT 1.00 |A|0|0|0|0|0|\r\n  SERIAL # K0000001\r\n"
    "Pulses in Per Point : 25\r\nPulses in Multiplier : 100\r\n"
    "Print Out In : CENTS\r\nPrint Money Value In : 25\r\n"
    "Coin In A Multiplier:  1 2 3 4 5 6 \r\nCoin In B Multiplier:  7 8 9 10 11 12 \r\n"
    "*S|0|KIT 2.0.1\r\nCurrent Status: IDLE\r\n"
    "Total Pulses Received=   000100\r\nTotal Pulses Returned=   000020\r\n"
    "Total Pulses Paid Out=   000003\r\nCoin_1 in =       40\r\nCoin_2 in =        5\r\n");

MeterReport scan(const QString& text, bool kit = false) {
    return scanMeterReport(text, static_cast<int>(text.size()) + 1, kit);
}

using Six = MeterReport::PerTerminal<QString>;
using Edits = MeterReport::PerTerminal<std::optional<QString>>;

TEST(MeterReport, SixPanelReport) {
    const MeterReport r = scan(kSixPanel);
    EXPECT_EQ(r.printerFirmware, "PRN 1.04 ");
    EXPECT_EQ(r.printerStatus, "No Errors");
    EXPECT_EQ(r.systemMessage, "Printer OK");
    EXPECT_EQ(r.serialNumber, "TB123456");
    EXPECT_EQ(r.firmwareVersion, "TB 2.10.3");
    // Extra blanks before a pulse value are skipped.
    EXPECT_EQ(r.pulseInPerPoint, (Six{"25", "100", "5", "10", "1", "DIP"}));
    EXPECT_EQ(r.pulseValueEdit[5], "DIP");
    EXPECT_EQ(r.multiplierEdit, (Edits{"1", "2", "50", "100", "75", "3"}));
    EXPECT_EQ(r.printMoneyOrPoints, (Six{"CENTS", "DOLLAR", "POINTS", "CENTS", "CENTS", "DOLLAR"}));
    EXPECT_EQ(r.valueInEdit, (Edits{"1", "5", "10", "25", "100", "500"}));
    EXPECT_EQ(r.coinInMultiB, (Six{"10", "20", "30", "40", "50", "60"}));
    EXPECT_EQ(r.status, (Six{"IDLE", "PLAY", "IDLE", "OUT", "IDLE", "IDLE"}));
    EXPECT_EQ(r.received[0], "   001001");
    EXPECT_EQ(r.returned[2], "   003002");
    EXPECT_EQ(r.paidOut[5], "   006003");
    EXPECT_EQ(r.coinInA[4], "     5004");
    EXPECT_EQ(r.coinInB[3], "     4005");
}

// One terminal, but both multiplier lines still carry six values.
TEST(MeterReport, KitReport) {
    const MeterReport r = scan(kKit, true);
    EXPECT_EQ(r.serialNumber, "K0000001");
    EXPECT_EQ(r.firmwareVersion, "KIT 2.0.1");
    EXPECT_EQ(r.pulseValueEdit, (Edits{"25", {}, {}, {}, {}, {}}));
    EXPECT_EQ(r.pulseInMultiplier, (Six{"100", "", "", "", "", ""}));
    EXPECT_EQ(r.printMoneyOrPoints[0], "CENTS");
    EXPECT_EQ(r.valueInEdit[0], "25");
    EXPECT_EQ(r.coinInMultiB, (Six{"7", "8", "9", "10", "11", "12"}));
    EXPECT_EQ(r.status, (Six{"IDLE", "", "", "", "", ""}));
    EXPECT_EQ(r.received[0], "   000100");
    EXPECT_EQ(r.paidOut[0], "   000003");
    EXPECT_EQ(r.coinInB, (Six{"        5", "", "", "", "", ""}));
}

QStringList list(const Six& panels) {
    return QStringList(panels.begin(), panels.end());
}

// Variations of the six-panel report, each a change of its text and the texts it must yield,
// joined by '|'.
TEST(MeterReport, Variations) {
    using R = const MeterReport&;
    struct Case {
        const char* name;
        QString from, to, want;
        std::function<QStringList(R)> got;
    };
    const std::vector<Case> cases = {
        {"printer status P reports six codes", "|A|0|0|0|0|0|", "|P|1|2|3|4|z|",
         "Printer Error|50 31 32 33 34 7A |TB123456",
         [](R r) { return QStringList() << r.printerStatus << r.systemMessage << r.serialNumber; }},
        {"printer status 0 has bit 0x10 set", "|A|0|", "|0|0|", "30 30 30 30 30 30 ",
         [](R r) { return QStringList() << r.systemMessage; }},
        {"no serial number", "TB123456\r\n", "\r\n", "NOT SET||25",
         [](R r) {
             return QStringList() << r.serialNumber << *r.boardSerial << r.pulseInPerPoint[0];
         }},
        {"a short serial names the board up to its line's end", "TB123456\r\n", "TB42\r\n",
         "TB42Pu|TB42", [](R r) { return QStringList() << r.serialNumber << *r.boardSerial; }},
        {"left brace dropped from serial", "TB123456", "TB12{3456", "TB12345",
         [](R r) { return QStringList() << r.serialNumber; }},
        {"eight characters examined, control characters skipped", "TB123456\r\n", "AB\r\nxyz",
         "ABxyzP", [](R r) { return QStringList() << r.serialNumber; }},
        {"two blanks in print unit shift the line", "CENTS DOLLAR POINTS", "CENTS  DOLLAR POINTS",
         "CENTS||DOLLAR|POINTS|CENTS|CENTS|500",
         [](R r) { return list(r.printMoneyOrPoints) << r.valueIn[5]; }},
        {"no coin-in multiplier lines",
         "Coin In A Multiplier:  1 2 3 4 5 6 \r\nCoin In B Multiplier:  10 20 30 40 50 60 \r\n", "",
         "||||||||||||TB 2.10.3|     6005",
         [](R r) {
             return list(r.coinInMultiA) + list(r.coinInMultiB)
                    << r.firmwareVersion << r.coinInB[5];
         }},
        {"missing pulse line empties what follows", "Per Point :", "PerPoint :", "TB123456||",
         [](R r) { return QStringList() << r.serialNumber << r.firmwareVersion << r.received[0]; }},
        // Terminal 3's coin label search runs on into terminal 4: later blocks read one late.
        {"missing block label takes the next block's", "in =     3004", "in?     3004",
         "     4004|   006001|",
         [](R r) { return QStringList() << r.coinInA[2] << r.received[4] << r.received[5]; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString text = kSixPanel;
        ASSERT_TRUE(text.contains(c.from));
        EXPECT_EQ(c.got(scan(text.replace(c.from, c.to))).join('|'), c.want);
    }
}

TEST(MeterReport, LimitCutsLabels) {
    const int statusAt = static_cast<int>(kSixPanel.indexOf(u"Current Status: ")) + 1;
    const int serialAt = static_cast<int>(kSixPanel.indexOf(u"  SERIAL # ")) + 1;
    struct Case {
        int limit;
        QString serial, firmware, status0, received0;
    };
    const std::vector<Case> cases = {
        {0, "", "", "", ""},
        {serialAt, "", "", "", ""},
        // A label starting just before the limit is found and its value read beyond it.
        {serialAt + 1, "TB123456", "", "", ""},
        {statusAt, "TB123456", "TB 2.10.3", "", ""},
        {statusAt + 1, "TB123456", "TB 2.10.3", "IDLE", ""},
        {INT_MAX, "TB123456", "TB 2.10.3", "IDLE", "   001001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        const MeterReport r = scanMeterReport(kSixPanel, c.limit, false);
        EXPECT_EQ(r.serialNumber, c.serial);
        EXPECT_EQ(r.firmwareVersion, c.firmware);
        EXPECT_EQ(r.status[0], c.status0);
        EXPECT_EQ(r.received[0], c.received0);
    }
}

void expectPrefix(const QString& part, const QString& whole) {
    EXPECT_TRUE(whole.startsWith(part))
        << '"' << part.toStdString() << "\" does not start \"" << whole.toStdString() << '"';
}

// A reply cut anywhere never reads past its end and shows only starts of the real values.
TEST(MeterReport, CutShortAtEveryLength) {
    const auto board = {&MeterReport::printerFirmware, &MeterReport::serialNumber,
                        &MeterReport::firmwareVersion};
    const auto edits = {&MeterReport::pulseValueEdit, &MeterReport::multiplierEdit,
                        &MeterReport::valueInEdit};
    for (bool kit : {false, true}) {
        const QString& full = kit ? kKit : kSixPanel;
        const MeterReport whole = scan(full, kit);
        for (qsizetype len = 0; len <= full.size(); ++len) {
            SCOPED_TRACE(testing::Message() << (kit ? "kit" : "six") << " cut at " << len);
            // A copy, so reading past the end is caught by the address sanitizer.
            const MeterReport r = scan(full.left(len), kit);
            EXPECT_EQ(r.systemMessage, "Printer OK");
            for (auto f : board) {
                expectPrefix(r.*f, whole.*f);
            }
            for (int i = 0; i < 6; ++i) {
                for (const TerminalField& f : kTerminalFields) {  // every per-terminal text
                    expectPrefix((r.*f.report)[i], (whole.*f.report)[i]);
                }
                for (auto f : edits) {
                    if ((r.*f)[i]) {
                        ASSERT_TRUE((whole.*f)[i].has_value());
                        expectPrefix(*(r.*f)[i], *(whole.*f)[i]);
                    }
                }
            }
        }
    }
    // Cut inside the status codes of a printer error.
    EXPECT_EQ(scan("*S|0|PRN 1.04 |P|1|2").systemMessage, "50 31 32 ");
}

TEST(MeterReading, FormatsHoldTheDisplayedValues) {
    MeterReport report;
    report.serialNumber = QStringLiteral("TB104217");
    report.printerStatus = QStringLiteral("No Errors");
    report.received[0] = QStringLiteral("000001001");
    report.status[0] = QStringLiteral("IDLE, \"odd\"");
    MeterReading r = readingFromReport(report, true);
    ASSERT_EQ(r.terminals.size(), 1u);  // a kit has one terminal
    r.time = QDateTime(QDate(2026, 3, 7), QTime(9, 5, 0));
    r.port = QStringLiteral("Com1");
    r.address = 5;
    r.terminals[0].wentBackwards = {QStringLiteral("received")};

    const QJsonValue o =
        QJsonDocument::fromJson(formatReadings({r}, RecordFormat::Json, true).toUtf8())
            .array()
            .at(0);
    EXPECT_EQ(o["address"].toInt(), 5);
    EXPECT_TRUE(o["error"].isNull());
    EXPECT_EQ(o["serialNumber"].toString(), "TB104217");
    EXPECT_EQ(o[u"terminals"][0][u"wentBackwards"][0].toString(), "received");

    const QStringList csv = formatReadings({r}, RecordFormat::Csv, false).split("\r\n");
    ASSERT_EQ(csv.size(), 3);  // header, one terminal, the empty rest after the last CR LF
    EXPECT_FALSE(csv[0].contains("wentBackwards"));
    EXPECT_EQ(csv[1],
              "2026-03-07T09:05:00,Com1,5,TB104217,,,No Errors,,1,\"IDLE, \"\"odd\"\"\",,,,,"
              "000001001,,,,,,");

    // A silent board's CSV row and an unknown format are the audit program's tests.
    MeterReading silent;
    silent.error = QStringLiteral("no answer");
    EXPECT_TRUE(formatReadings({silent}, RecordFormat::Text, false).contains("ERROR: no answer"));
}

// Each report value lands in its own record field, and the CSV and text forms name and place
// it as before: a field swapped or dropped in the field table shows here. The JSON fields are
// compared with the board's values by the audit's end-to-end test.
TEST(MeterReading, EveryReportValueKeepsItsNameAndPlace) {
    MeterReport report;
    for (size_t n = 0; n < 6; ++n) {
        const QString t = QString::number(n + 1);
        report.status[n] = "st" + t;
        report.pulseInPerPoint[n] = "pv" + t;
        report.pulseInMultiplier[n] = "mu" + t;
        report.valueIn[n] = "vi" + t;
        report.printMoneyOrPoints[n] = "pu" + t;
        report.received[n] = "rc" + t;
        report.returned[n] = "rt" + t;
        report.paidOut[n] = "po" + t;
        report.coinInA[n] = "ca" + t;
        report.coinInB[n] = "cb" + t;
        report.coinInMultiA[n] = "ma" + t;
        report.coinInMultiB[n] = "mb" + t;
    }
    MeterReading r = readingFromReport(report, false);
    r.time = QDateTime(QDate(2026, 3, 7), QTime(9, 5, 0));
    r.port = QStringLiteral("Com2");

    const QStringList csv = formatReadings({r}, RecordFormat::Csv, true).split("\r\n");
    ASSERT_EQ(csv.size(), 8);  // header, six terminals, the empty rest after the last CR LF
    EXPECT_EQ(csv[0],
              "time,port,address,serialNumber,firmwareVersion,printerFirmware,printerStatus,error,"
              "terminal,status,pulseValue,multiplier,valueIn,printUnit,received,returned,paidOut,"
              "coinInA,coinInB,coinInMultiplierA,coinInMultiplierB,wentBackwards");
    EXPECT_EQ(csv[6],
              "2026-03-07T09:05:00,Com2,,,,,,,6,st6,pv6,mu6,vi6,pu6,rc6,rt6,po6,ca6,cb6,"
              "ma6,mb6,");

    const QStringList text = formatReadings({r}, RecordFormat::Text, false).split('\n');
    ASSERT_GE(text.size(), 6);
    EXPECT_EQ(text[4], "  Terminal 2  st2  pulse pv2 x mu2 vi2 print pu2  in mult A ma2 B mb2");
    EXPECT_EQ(text[5], "    received rc2  returned rt2  paid out po2  coin A ca2  coin B cb2");
}

}  // namespace
}  // namespace tarvo
