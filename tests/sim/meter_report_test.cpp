// The meter report must put every label and value where the program's scanner looks.

#include <gtest/gtest.h>

#include "model/board_model.h"
#include "sim_test_util.h"

namespace tarvo::sim {
namespace {

// Position of `label` at or after `from`; fails the test when it is missing.
qsizetype find(const QByteArray& text, const QByteArray& label, qsizetype from = 0) {
    const qsizetype p = text.indexOf(label, from);
    EXPECT_GE(p, 0) << "missing " << label.constData();
    return p;
}

// The characters from `start` up to the CR that ends the line.
QByteArray restOfLine(const QByteArray& text, qsizetype start) {
    return text.mid(start, text.indexOf('\r', start) - start);
}

void fillBoard(BoardState& s) {
    Terminal& t2 = s.terminals[1];
    t2.pulseCode = 8;      // "25"
    t2.multiplierPos = 9;  // "100"
    t2.cents = true;
    t2.printUnit = "POINTS";
    t2.coinMultA = 25;
    t2.coinMultB = 7;
    t2.received = 1234;
    t2.returned = 5;
    t2.paidOut = 999999999;
    t2.coin1 = 308;
    t2.coin2 = 2;
    s.terminals[0].dip = true;
    s.terminals[3].active = false;
    s.terminals[5].pulseCode = 21;  // "5000"
}

TEST(MeterReport, LabelsAndValuesStandWhereTheScannerReads) {
    struct Case {
        bool kit;
        int pulseAt, multiplierAt, printAt, valueAt;  // offsets of the first value
        QList<QByteArray> pulses, multipliers;
        QByteArray print, value, status;
        QByteArray serial;  // empty: none set, which leaves a CR right after the label
        bool printerError;
    } cases[] = {
        {false,
         24,
         25,
         17,
         25,
         {"DIP", "25", "10", "10", "10", "5000"},
         {"1", "100", "1", "1", "1", "1"},
         "MONEY POINTS MONEY MONEY MONEY MONEY",
         "DOLLAR CENTS DOLLAR DOLLAR DOLLAR DOLLAR",
         "ON ON ON OFF ON ON",
         "TB104217",
         false},
        {true, 22, 23, 15, 23, {"DIP"}, {"1"}, "MONEY", "DOLLAR", "ON", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kit ? "kit" : "six-panel");
        BoardConfig config;
        config.kit = c.kit;
        BoardModel board(config);
        fillBoard(board.state());
        board.state().serial = c.serial;
        board.state().setPrinterError(c.printerError);
        const QByteArray r = testing::send(board, "\x80\x81\x81");
        ASSERT_GE(r.size(), 1300);
        EXPECT_EQ(r.count('\n'), r.count("\r\n")) << "every line ends in CR LF";

        const qsizetype rec1 = find(r, "*S|0|");
        EXPECT_EQ(r.mid(rec1 + 5, 9), "PR 1.07 A");
        EXPECT_EQ((r[rec1 + 15] & 0x10) != 0, c.printerError);
        const qsizetype serial = find(r, "  SERIAL # ", rec1);
        EXPECT_EQ(r.mid(serial + 11, c.serial.size() + 1), c.serial + '\r');

        // Pulse values may follow blanks; each ends at a blank (six-panel) or blank or CR (kit).
        auto words = [&](qsizetype start) { return restOfLine(r, start).simplified().split(' '); };
        const qsizetype pulses = find(r, "Pulses in Per Point :", serial);
        EXPECT_EQ(r.mid(pulses + 21, c.pulseAt - 21).trimmed(), "") << "only blanks before 1";
        EXPECT_EQ(words(pulses + c.pulseAt), c.pulses);
        const qsizetype mult = find(r, "Pulses in Multiplier :", pulses);
        EXPECT_EQ(words(mult + c.multiplierAt), c.multipliers);
        if (!c.kit) {
            EXPECT_EQ(r[r.indexOf('\r', pulses) - 1], ' ') << "the sixth value ends at a blank";
            EXPECT_EQ(r[r.indexOf('\r', mult) - 1], ' ');
        }
        // Print unit and value in: the first value exactly at its offset.
        const qsizetype print = find(r, "Print Out In :", mult);
        EXPECT_EQ(restOfLine(r, print + c.printAt), c.print);
        const qsizetype value = find(r, "Print Money Value In :", print);
        EXPECT_EQ(restOfLine(r, value + c.valueAt), c.value);
        // Coin-in multipliers: six values also for a kit, each followed by one blank.
        const qsizetype multA = find(r, "Coin In A Multiplier:", value);
        EXPECT_EQ(restOfLine(r, multA + 23), "1 25 1 1 1 1 ");
        const qsizetype multB = find(r, "Coin In B Multiplier:", multA);
        EXPECT_EQ(restOfLine(r, multB + 23), "1 7 1 1 1 1 ");
        const qsizetype rec2 = find(r, "*S|0|", multB);
        EXPECT_EQ(r.mid(rec2 + 5, 9), "V 2.14 R3");
        const qsizetype status = find(r, "Current Status: ", rec2);
        EXPECT_EQ(restOfLine(r, status + 16), c.status);

        const int panels = c.kit ? 1 : 6;
        EXPECT_EQ(r.count("Total Pulses Received="), panels);
        qsizetype at = status;
        for (int i = 0; i < panels; ++i) {
            at = c.kit ? at : find(r, "Terminal ", at);
            const Terminal& t = board.state().terminals[i];
            const std::pair<QByteArray, qint64> meters[] = {{"Total Pulses Received=", t.received},
                                                            {"Total Pulses Returned=", t.returned},
                                                            {"Total Pulses Paid Out=", t.paidOut},
                                                            {"Coin_1 in =", t.coin1},
                                                            {"Coin_2 in =", t.coin2}};
            for (const auto& [label, count] : meters) {
                at = find(r, label, at) + label.size();
                EXPECT_EQ(r.mid(at, 9).trimmed().toLongLong(), count) << label.constData() << i;
                EXPECT_EQ(r.mid(at + 9, 2), "\r\n");
            }
        }
    }
}

}  // namespace
}  // namespace tarvo::sim
