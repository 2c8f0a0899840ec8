// Target prefixes and multi-drop frames: the board notices when a count does not match.

#include <gtest/gtest.h>

#include "model/board_model.h"
#include "sim_test_util.h"

namespace tarvo::sim {
namespace {

using testing::joined;
using testing::send;

QByteArray prefix(int code) {
    return QByteArray("\x1dTP") + static_cast<char>(code);
}

// GS "Tw" and 54 items, announced with `code`.
QList<QByteArray> pulseWrite(int code) {
    return QList<QByteArray>{prefix(code), "\x1dTw"} + QList<QByteArray>(54, "050 ");
}

TEST(TargetPrefix, CodeMustCountTheCommandThatFollows) {
    const QByteArray coinIn("\x1dTM1\xC8\x00", 6);
    const QList<QByteArray> location = {"\x1d", "T", "H", "abc\r", "\r", "\r", "\r"};
    const QList<QByteArray> law = {"\x1d", "T", "L", "ab\r", "\r", "\r", "\r"};
    const QList<QByteArray> law2 = {"12345\r", "\r", "\r", "\r"};
    struct Case {
        const char* name;
        QList<QByteArray> pieces;
        int errors;
        bool requirePrefix = false;
    } cases[] = {
        {"coin in", {prefix(6), coinIn}, 0},
        {"coin in, short code", {prefix(5), coinIn}, 1},
        {"clear memory", {prefix(1), "\x8d", prefix(2), "\x81\x80"}, 0},
        {"clear memory, codes swapped", {prefix(2), "\x8d", prefix(1), "\x81\x80"}, 2},
        {"time", {prefix(13), "\x1d", "T", "T", "21", "40", "03", "07", "26"}, 0},
        {"location L+7", QList{prefix(3 + 7)} + location, 0},
        {"location L+6", QList{prefix(3 + 6)} + location, 1},
        {"law A+7 then B+4", QList{prefix(2 + 7)} + law + QList{prefix(5 + 4)} + law2, 0},
        {"law, second code wrong", QList{prefix(2 + 7)} + law + QList{prefix(5 + 3)} + law2, 1},
        {"pulse write, 192 although 219 bytes follow", pulseWrite(192), 0},
        {"pulse write, 219", pulseWrite(219), 1},
        {"prefix after prefix", {prefix(3), prefix(3), "\x1dTr"}, 1},
        {"missing prefix", {coinIn}, 1, true},
        {"enquiry and session need none", {"\x05", QByteArray("\x1d\x45\x01", 3)}, 0, true},
        {"terminal mode",
         {prefix(3), "\x1bOS", prefix(1), "x", prefix(7), "\x1b\x1b\x1b    "},
         0,
         true},
    };
    for (const Case& c : cases) {
        BoardConfig config;
        config.requirePrefix = c.requirePrefix;
        BoardModel board(config);
        send(board, c.pieces);
        EXPECT_EQ(board.protocolErrors().size(), c.errors)
            << c.name << ": " << board.trace().join(" / ").toStdString();
    }
}

// Words of a 9-bit line: the address with its parity bit, the length, the data.
QList<quint16> frame(int address, const QByteArray& data, int length = -1) {
    QList<quint16> w = {quint16(0x100 | address), quint16(length < 0 ? data.size() : length)};
    for (char c : data) {
        w << static_cast<quint8>(c);
    }
    return w;
}

TEST(MultiDrop, NineBitFramesForThisAddressOnly) {
    BoardConfig config;
    config.multiDropAddress = 5;
    struct Case {
        const char* name;
        QList<quint16> words;
        bool answered;
        int errors;
    } cases[] = {
        {"own address", frame(5, "\x1dTr"), true, 0},
        {"other address", frame(6, "\x1dTr"), false, 0},
        {"in pieces", frame(5, "\x1d") + frame(5, "T") + frame(5, "r"), true, 0},
        {"length too big", frame(5, "\x1dTr", 4) + frame(5, "\x05"), true, 1},
        {"length too small", frame(5, "\x1dTr", 2) + frame(5, "\x05"), true, 1},
    };
    for (const Case& c : cases) {
        BoardModel board(config);
        EXPECT_EQ(!joined(board.receiveNineBit(c.words)).isEmpty(), c.answered) << c.name;
        EXPECT_EQ(board.protocolErrors().filter("length byte").size(), c.errors)
            << c.name << ": " << board.trace().join(" / ").toStdString();
    }
}

TEST(MultiDrop, ThePauseMarksTheAddressOnAPseudoTerminal) {
    BoardConfig config;
    config.multiDropAddress = 2;
    config.addressPauseMs = 12;
    struct Case {
        const char* name;
        QList<std::pair<qint64, QByteArray>> chunks;  // arrival time, bytes
        QByteArray reply;
        int errors;
    } cases[] = {
        // address, pause, length and data; the next address rides behind the data.
        {"two frames", {{0, "\x02"}, {25, "\x03\x1dTr\x02"}, {50, "\x01\x05"}}, "050", 0},
        {"pauses lost to a slow reader", {{0, "\x02\x03\x1dTr\x02\x01\x05"}}, "050", 0},
        {"other address", {{0, "\x07"}, {25, "\x03\x1dTr"}}, "", 0},
        // The length says 5 but the pause shows the 4th byte is the next address.
        {"length too big", {{0, "\x02"}, {25, "\x05\x1dTr\x02"}, {50, "\x01\x05"}}, "TARVO", 1},
        {"length too big, then idle",
         {{0, "\x02"}, {25, "\x05\x1dTr"}, {900, "\x02"}, {925, "\x01\x05"}},
         "TARVO",
         1},
    };
    for (const Case& c : cases) {
        BoardModel board(config);
        QByteArray reply;
        for (const auto& [at, bytes] : c.chunks) {
            reply += joined(board.receive(bytes, at));
        }
        EXPECT_EQ(reply.left(c.reply.size()), c.reply) << c.name;
        EXPECT_EQ(reply.isEmpty(), c.reply.isEmpty()) << c.name;
        EXPECT_EQ(board.protocolErrors().size(), c.errors)
            << c.name << ": " << board.trace().join(" / ").toStdString();
    }
}

}  // namespace
}  // namespace tarvo::sim
