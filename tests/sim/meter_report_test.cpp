// The meter report's framing. Where each value stands is read back through the program's own
// scanner by the end-to-end View Info tests.

#include <gtest/gtest.h>

#include "model/board_model.h"
#include "sim_test_util.h"

namespace tarvo::sim {
namespace {

// The characters from `start` up to the CR that ends the line.
QByteArray restOfLine(const QByteArray& text, qsizetype start) {
    return text.mid(start, text.indexOf('\r', start) - start);
}

TEST(MeterReport, FramingStatusAndMetersOfBothKinds) {
    struct Case {
        bool kit;
        QByteArray status;
        QByteArray serial;  // empty: none set, which leaves a CR right after the label
        bool printerError;
    } cases[] = {{false, "ON ON ON OFF ON ON", "TB104217", false}, {true, "ON", "", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kit ? "kit" : "six-panel");
        BoardConfig config;
        config.kit = c.kit;
        BoardModel board(config);
        board.state().terminals[3].active = false;
        board.state().terminals[0].paidOut = 999999999;
        board.state().serial = c.serial;
        board.state().setPrinterError(c.printerError);
        const QByteArray r = testing::send(board, "\x80\x81\x81");
        ASSERT_GE(r.size(), 1300);
        EXPECT_EQ(r.count('\n'), r.count("\r\n")) << "every line ends in CR LF";

        const qsizetype rec1 = r.indexOf("*S|0|");
        ASSERT_GE(rec1, 0);
        EXPECT_EQ(r.mid(rec1 + 5, 9), "PR 1.07 A");
        EXPECT_EQ((r[rec1 + 15] & 0x10) != 0, c.printerError);
        const qsizetype serial = r.indexOf("  SERIAL # ", rec1);
        EXPECT_EQ(r.mid(serial + 11, c.serial.size() + 1), c.serial + '\r');
        EXPECT_EQ(r.mid(r.indexOf("*S|0|", serial) + 5, 9), "V 2.14 R3");
        EXPECT_EQ(restOfLine(r, r.indexOf("Current Status: ") + 16), c.status);
        EXPECT_EQ(r.count("Total Pulses Received="), c.kit ? 1 : 6);
        const qsizetype paid = r.indexOf("Total Pulses Paid Out=") + 22;
        EXPECT_EQ(r.mid(paid, 11), "999999999\r\n");
    }
}

// A board that pauses mid-report holds back its last meter line and what follows it.
TEST(MeterReport, APauseHoldsBackTheLastMeterLine) {
    BoardConfig config;
    config.reportPauseMs = 150;
    BoardModel board(config);
    const QList<Reply> replies = board.receive("\x80\x81\x81");
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(replies[1].delayMs, 150);
    EXPECT_TRUE(replies[1].bytes.startsWith("Coin_2 in ="));
    EXPECT_FALSE(replies[1].bytes.contains("Total Pulses"));
    EXPECT_GE(replies[0].bytes.size(), 1300) << "the first part is long enough to start the wait";
}

}  // namespace
}  // namespace tarvo::sim
