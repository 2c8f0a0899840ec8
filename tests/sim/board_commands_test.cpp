// What the board does with each command: meters, parameters, texts, replies.

#include <gtest/gtest.h>

#include "model/board_model.h"
#include "sim_test_util.h"

namespace tarvo::sim {
namespace {

using testing::joined;
using testing::send;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

TEST(BoardCommands, ParametersDecodeBothForms) {
    struct Case {
        const char* cmd;
        int terminal;
        QByteArray pulse, multiplier, valueIn;  // empty pulse: the command is refused
    } cases[] = {
        {"1d544f00a5282100", 0, "25", "100", "CENTS"},
        {"1d544f03a5f50000", 3, "5000", "50", "DOLLAR"},
        {"1d544f05a5000000", 5, "1", "1", "DOLLAR"},
        {"1d544f04a5e00100", 4, "1", "1000", "DOLLAR"},
        {"1d544f0200000000", 2, "DIP", "100", "DOLLAR"},  // DIP keeps the multiplier
        {"1d544f01a5160000", 1, "", "", ""},              // code 22
        {"1d544f01a5050200", 1, "", "", ""},              // unknown flag
        {"1d544f06a5050000", 6, "", "", ""},              // no terminal 7
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmd);
        BoardModel board;
        Terminal& t = board.state().terminals[c.terminal % kTerminals];
        t.multiplierPos = 9;
        send(board, hex(c.cmd));
        EXPECT_EQ(board.protocolErrors().size(), c.pulse.isEmpty() ? 1 : 0);
        if (c.pulse.isEmpty()) {
            EXPECT_EQ(t.multiplierPos, 9);
            continue;
        }
        EXPECT_EQ(t.pulseValueText(), c.pulse);
        EXPECT_EQ(t.multiplierText(), c.multiplier);
        EXPECT_EQ(t.valueInText(), c.valueIn);
    }
}

TEST(BoardCommands, CoinsCashoutsAndClearMoveMeters) {
    BoardModel board;
    BoardState& s = board.state();
    s.terminals[4].pulsesPerCoin = 3;
    s.terminals[1].active = false;
    const QList<Reply> replies = board.receive(hex("1d544d35c800"));
    EXPECT_EQ(s.terminals[4].received, 3);
    EXPECT_EQ(s.terminals[4].coin1, 1);
    ASSERT_EQ(replies.size(), 3);
    for (const Reply& r : replies) {
        // ESC "/" BEL, one position per terminal with SOH at the fifth, then CR LF.
        EXPECT_EQ(r.bytes, QByteArray("\x1b/\x07....\x01.\r\n"));
    }
    EXPECT_EQ(replies[0].delayMs, 0);
    EXPECT_GT(replies[1].delayMs, 0);
    send(board, {hex("1d544d32c800"), hex("1d544d37c800"), hex("1d544d31c900")});
    EXPECT_EQ(s.terminals[1].received, 0) << "terminal 2 is OFF";
    EXPECT_EQ(board.protocolErrors().size(), 2);

    send(board, {hex("1d544d31c800"), hex("1d544d31c800")});
    EXPECT_EQ(send(board, "\x1b\x43\x31"), "CASHOUT TERMINAL 1: 8 PULSES\r\n");  // ESC "C1"
    EXPECT_EQ(s.terminals[0].paidOut, 8);
    EXPECT_EQ(s.terminals[0].credit(), 0);
    EXPECT_TRUE(send(board, "\x1d\x43\x43").isEmpty());  // GS "CC" returns the credit left
    EXPECT_EQ(s.terminals[4].returned, 3);
    EXPECT_EQ(s.terminals[0].returned, 0);
    // ESC "OT" then GS "CC" prints the last cash-out instead.
    const QByteArray ticket = send(board, {hex("1d544d35c800"), "\x1bOT", "\x1d\x43\x43"});
    EXPECT_TRUE(ticket.contains("AMOUNT        : 8 PULSES\r\n")) << ticket.constData();
    EXPECT_EQ(s.terminals[4].returned, 3);

    EXPECT_TRUE(send(board, "\x81\x80").isEmpty());
    EXPECT_EQ(board.protocolErrors().size(), 3) << "confirm without 0x8D";
    EXPECT_EQ(send(board, {"\x8d", "\x81\x80"}), "MEMORY CLEARED\r\n");
    for (const Terminal& t : s.terminals) {
        EXPECT_EQ(t.received + t.returned + t.paidOut + t.coin1 + t.coin2, 0);
    }
}

// Reading the items back is the pulse editor's end-to-end round trip.
TEST(BoardCommands, PulseWritesGoBlockByBlockAndABadOneChangesNothing) {
    BoardModel board;
    QList<QByteArray> write = {"\x1dTw"};
    for (int i = 0; i < 54; ++i) {
        write << QByteArray::number(502 - i).rightJustified(3, '0') + ' ';
    }
    send(board, write);
    EXPECT_TRUE(board.protocolErrors().isEmpty());
    EXPECT_EQ(board.state().pulses[1][0], 496) << "items go block by block";
    EXPECT_EQ(board.state().pulses[8][5], 449);
    write[7] = "12X ";
    send(board, write);
    EXPECT_EQ(board.protocolErrors().size(), 1);
    EXPECT_EQ(board.state().pulses[1][0], 496) << "a bad write changes nothing";
}

TEST(BoardCommands, ClockAndTerminalMode) {
    BoardModel board;
    const BoardClock before = board.state().clock;
    send(board, "\x1dTT2561010126");  // hour 25
    EXPECT_EQ(board.protocolErrors().size(), 1);
    EXPECT_EQ(board.state().clock, before);

    EXPECT_TRUE(send(board, "\x1bOS").contains("TERMINAL MODE"));
    EXPECT_EQ(send(board, "\x05"), "\x05") << "in terminal mode the enquiry is a key";
    EXPECT_EQ(send(board, "\033A"), "\033A") << "an ESC that leads nowhere is a key";
    EXPECT_EQ(send(board, "\r"), "\r\n> ");
    send(board, {"\x1b", "\x1b\x1b", "    "});
    EXPECT_EQ(send(board, "\x05"), "TARVO BOARD READY\r\n");
}

TEST(BoardCommands, ModemAnswersTheDialStringThenPassesTheLine) {
    // CONNECT, BUSY, NO CARRIER and silence are dialled end to end through the window.
    const std::pair<ModemResult, QByteArray> cases[] = {
        {ModemResult::Connect, "CONNECT 9600\r\n"},
        {ModemResult::NoDialtone, "NO DIALTONE\r\n"},
        {ModemResult::Error, "ERROR\r\n"},
    };
    for (const auto& [result, word] : cases) {
        BoardConfig config;
        config.modem = result;
        config.modemDelayMs = 4000;
        BoardModel board(config);
        EXPECT_TRUE(send(board, "\x05").isEmpty()) << "the modem swallows board commands";
        const QList<Reply> replies = board.receive("ATDT5551234\r");
        EXPECT_EQ(joined(replies), word);
        EXPECT_EQ(replies.value(0).delayMs, 4000);
        const bool online = result == ModemResult::Connect;
        EXPECT_EQ(board.modemOnline(), online);
        EXPECT_EQ(send(board, "\x05").isEmpty(), !online);
        board.hangUp();
        EXPECT_TRUE(send(board, "\x05").isEmpty());
    }
}

// The demo board: a line that never dials talks to the board, "A" bytes inside commands
// included; a dial string still reaches the modem.
TEST(BoardCommands, AnOptionalModemLetsAnUndialledLineThrough) {
    BoardConfig config;
    config.modem = ModemResult::Connect;
    config.modemOptional = true;
    BoardModel board(config);
    EXPECT_FALSE(send(board, "\x05").isEmpty());
    send(board, QByteArray("\x1dTA\x02\x19", 5));
    EXPECT_EQ(board.state().terminals[2].coinMultA, 25);
    EXPECT_EQ(send(board, "ATDT42\r"), "CONNECT 9600\r\n");
    EXPECT_TRUE(board.modemOnline());
    board.hangUp();
    EXPECT_FALSE(send(board, "\x05").isEmpty());
}

}  // namespace
}  // namespace tarvo::sim
