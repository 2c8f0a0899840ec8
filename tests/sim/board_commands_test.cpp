// What the board does with each command: meters, parameters, texts, replies.

#include <gtest/gtest.h>

#include <tuple>

#include "model/board_model.h"
#include "sim_test_util.h"

namespace tarvo::sim {
namespace {

using testing::joined;
using testing::send;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values) {
        b += static_cast<char>(v);
    }
    return b;
}

TEST(BoardCommands, ParametersDecodeBothForms) {
    struct Case {
        QByteArray cmd;
        int terminal;
        QByteArray pulse, multiplier, valueIn;  // empty pulse: the command is refused
    } cases[] = {
        {bytes({0x1D, 'T', 'O', 0, 0xA5, 0x28, 0x21, 0}), 0, "25", "100", "CENTS"},
        {bytes({0x1D, 'T', 'O', 3, 0xA5, 0xF5, 0x00, 0}), 3, "5000", "50", "DOLLAR"},
        {bytes({0x1D, 'T', 'O', 5, 0xA5, 0x00, 0x00, 0}), 5, "1", "1", "DOLLAR"},
        {bytes({0x1D, 'T', 'O', 4, 0xA5, 0xE0, 0x01, 0}), 4, "1", "1000", "DOLLAR"},
        {bytes({0x1D, 'T', 'O', 1, 0xA5, 0x16, 0x00, 0}), 1, "", "", ""},  // code 22
        {bytes({0x1D, 'T', 'O', 1, 0xA5, 0x05, 0x02, 0}), 1, "", "", ""},  // unknown flag
        {bytes({0x1D, 'T', 'O', 6, 0xA5, 0x05, 0x00, 0}), 6, "", "", ""},  // no terminal 7
    };
    for (const Case& c : cases) {
        BoardModel board;
        board.state().terminals[c.terminal % kTerminals].multiplierPos = 3;
        send(board, c.cmd);
        if (c.pulse.isEmpty()) {
            EXPECT_EQ(board.protocolErrors().size(), 1) << BoardModel::hex(c.cmd).toStdString();
            EXPECT_EQ(board.state().terminals[c.terminal % kTerminals].multiplierPos, 3);
            continue;
        }
        const Terminal& t = board.state().terminals[c.terminal];
        EXPECT_TRUE(board.protocolErrors().isEmpty());
        EXPECT_EQ(t.pulseValueText(), c.pulse);
        EXPECT_EQ(t.multiplierText(), c.multiplier);
        EXPECT_EQ(t.valueInText(), c.valueIn);
    }

    BoardModel board;
    board.state().terminals[2].multiplierPos = 9;
    send(board, bytes({0x1D, 'T', 'O', 2, 0, 0, 0, 0}));
    EXPECT_EQ(board.state().terminals[2].pulseValueText(), "DIP");
    EXPECT_EQ(board.state().terminals[2].multiplierText(), "100") << "DIP keeps the multiplier";
}

TEST(BoardCommands, CoinInCountsAndReportsPulses) {
    BoardModel board;
    board.state().terminals[4].pulsesPerCoin = 3;
    board.state().terminals[1].active = false;
    const QList<Reply> replies = board.receive(bytes({0x1D, 'T', 'M', '5', 0xC8, 0x00}));
    const Terminal& t = board.state().terminals[4];
    EXPECT_EQ(t.received, 3);
    EXPECT_EQ(t.coin1, 1);
    ASSERT_EQ(replies.size(), 3);
    for (const Reply& r : replies) {
        // ESC "/" BEL, one position per terminal with SOH at the fifth, then CR LF.
        EXPECT_EQ(r.bytes, QByteArray("\x1b/\x07....\x01.\r\n"));
    }
    EXPECT_EQ(replies[0].delayMs, 0);
    EXPECT_GT(replies[1].delayMs, 0);

    send(board, bytes({0x1D, 'T', 'M', '2', 0xC8, 0x00}));  // terminal 2 is OFF
    EXPECT_EQ(board.state().terminals[1].received, 0);
    send(board, bytes({0x1D, 'T', 'M', '7', 0xC8, 0x00}));
    send(board, bytes({0x1D, 'T', 'M', '1', 0xC9, 0x00}));
    EXPECT_EQ(board.protocolErrors().size(), 2);
    EXPECT_EQ(board.state().terminals[0].received, 0);
}

TEST(BoardCommands, CashoutCreditReturnAndClearMoveMeters) {
    BoardModel board;
    BoardState& s = board.state();
    const QByteArray coin1 = bytes({0x1D, 'T', 'M', '1', 0xC8, 0x00});
    send(board, {coin1, coin1});
    EXPECT_EQ(send(board, "\x1b\x43\x31"),  // ESC "C1"
              "CASHOUT TERMINAL 1: 8 PULSES\r\n");
    EXPECT_EQ(s.terminals[0].paidOut, 8);
    EXPECT_EQ(s.terminals[0].credit(), 0);

    send(board, bytes({0x1D, 'T', 'M', '2', 0xC8, 0x00}));
    EXPECT_TRUE(send(board, "\x1d\x43\x43").isEmpty());  // GS "CC"
    EXPECT_EQ(s.terminals[1].returned, 4) << "CC returns the credit left";
    EXPECT_EQ(s.terminals[0].returned, 0);

    // ESC "OT" then GS "CC" prints the last cash-out instead.
    const QByteArray ticket = send(board, {"\x1bOT", "\x1dTP\x03", "\x1d\x43\x43"});
    EXPECT_TRUE(ticket.contains("TERMINAL      : 1\r\n")) << ticket.constData();
    EXPECT_TRUE(ticket.contains("AMOUNT        : 8 PULSES\r\n"));
    EXPECT_EQ(s.terminals[1].returned, 4);

    EXPECT_TRUE(send(board, "\x81\x80").isEmpty());
    EXPECT_EQ(board.protocolErrors().size(), 1) << "confirm without 0x8D";
    EXPECT_EQ(s.terminals[0].received, 8);
    EXPECT_EQ(send(board, {"\x8d", "\x1dTP\x02", "\x81\x80"}), "MEMORY CLEARED\r\n");
    for (const Terminal& t : s.terminals) {
        EXPECT_EQ(t.received + t.returned + t.paidOut + t.coin1 + t.coin2, 0);
    }
    EXPECT_TRUE(joined(board.receive("\x1dTl")).contains("MEMORY CLEARED"));
}

TEST(BoardCommands, PulseSettingsReadBackAtTheirOffsets) {
    BoardModel board;
    for (int k = 0; k < kPulseBlocks; ++k) {
        for (int n = 0; n < kTerminals; ++n) {
            board.state().pulses[k][n] = k == 8 ? n % 2 : k * 50 + n;
        }
    }
    const QByteArray r = send(board, "\x1dTr");
    ASSERT_EQ(r.size(), 9 * 26);
    for (int k = 0; k < kPulseBlocks; ++k) {
        for (int n = 0; n < kTerminals; ++n) {
            const int v = board.state().pulses[k][n];
            EXPECT_EQ(r.mid(26 * k + 4 * n, 3), QByteArray::number(v).rightJustified(3, '0'));
        }
        EXPECT_EQ(r.mid(26 * k + 23, 3), " \r\n");
    }

    QList<QByteArray> write = {"\x1dTw"};
    for (int i = 0; i < 54; ++i) {
        write << QByteArray::number(502 - i).rightJustified(3, '0') + ' ';
    }
    send(board, write);
    EXPECT_TRUE(board.protocolErrors().isEmpty());
    EXPECT_EQ(board.state().pulses[0][0], 502);
    EXPECT_EQ(board.state().pulses[1][0], 496) << "items go block by block";
    EXPECT_EQ(board.state().pulses[8][5], 449);

    write[7] = "12X ";
    send(board, write);
    EXPECT_EQ(board.protocolErrors().size(), 1);
    EXPECT_EQ(board.state().pulses[1][0], 496) << "a bad write changes nothing";
}

TEST(BoardCommands, TextsAndClockAreStored) {
    BoardModel board;
    send(board, {"\x1d", "T", "H", "Joe's Bar\r", "\r", "Main St 5\r", "Springfield\r"});
    EXPECT_EQ(board.state().location[3], "Springfield");
    send(board, {"\x1d", "T", "T", "0", "9", "05", "03", "07", "26"});
    EXPECT_EQ(board.state().clock, (BoardClock{9, 5, 3, 7, 26}));
    send(board, "\x1dTT2561010126");  // hour 25
    EXPECT_EQ(board.protocolErrors().size(), 1);
    EXPECT_EQ(board.state().clock.hour, 9);
}

TEST(BoardCommands, TerminalModeEchoesUntilTheLeaveSequence) {
    BoardModel board;
    EXPECT_TRUE(send(board, "\x1bOS").contains("TERMINAL MODE"));
    EXPECT_TRUE(board.state().terminalMode);
    EXPECT_EQ(send(board, "A"), "A");
    EXPECT_EQ(send(board, "\x05"), "\x05") << "in terminal mode the enquiry is a key";
    EXPECT_EQ(send(board, "\x1b\x41"), "\x1b\x41") << "an ESC that leads nowhere is a key";
    EXPECT_EQ(send(board, "\r"), "\r\n> ");
    send(board, {"\x1b", "\x1b\x1b", "    "});
    EXPECT_FALSE(board.state().terminalMode);
    EXPECT_EQ(send(board, "\x05"), "TARVO BOARD READY\r\n");
    EXPECT_TRUE(board.protocolErrors().isEmpty());
}

TEST(BoardCommands, ProbeAnswerIsConfigurable) {
    // Whether the first enquiry is answered, and one after the wake byte 0x8A.
    const std::tuple<ProbeAnswer, bool, bool> cases[] = {{ProbeAnswer::First, true, true},
                                                         {ProbeAnswer::AfterWake, false, true},
                                                         {ProbeAnswer::Never, false, false}};
    for (const auto& [probe, first, afterWake] : cases) {
        BoardConfig config;
        config.probe = probe;
        BoardModel board(config);
        EXPECT_EQ(!send(board, "\x05").isEmpty(), first);
        EXPECT_TRUE(send(board, "\x8a").isEmpty());
        EXPECT_EQ(!send(board, "\x05").isEmpty(), afterWake);
    }
}

TEST(BoardCommands, ModemAnswersTheDialStringThenPassesTheLine) {
    struct Case {
        ModemResult result;
        QByteArray word;  // empty: silence
    } cases[] = {
        {ModemResult::Connect, "CONNECT 9600\r\n"}, {ModemResult::Busy, "BUSY\r\n"},
        {ModemResult::NoCarrier, "NO CARRIER\r\n"}, {ModemResult::NoDialtone, "NO DIALTONE\r\n"},
        {ModemResult::Error, "ERROR\r\n"},          {ModemResult::Silent, ""},
    };
    for (const Case& c : cases) {
        BoardConfig config;
        config.modem = c.result;
        config.modemDelayMs = 4000;
        BoardModel board(config);
        EXPECT_TRUE(send(board, "\x05").isEmpty()) << "the modem swallows board commands";
        const QList<Reply> replies = board.receive("ATDT5551234\r");
        ASSERT_EQ(replies.size(), c.word.isEmpty() ? 0 : 1);
        if (!c.word.isEmpty()) {
            EXPECT_EQ(replies[0].bytes, c.word);
            EXPECT_EQ(replies[0].delayMs, 4000);
        }
        const bool online = c.result == ModemResult::Connect;
        EXPECT_EQ(board.modemOnline(), online);
        EXPECT_EQ(send(board, "\x05").isEmpty(), !online);
        board.hangUp();
        EXPECT_TRUE(send(board, "\x05").isEmpty());
    }
}

}  // namespace
}  // namespace tarvo::sim
