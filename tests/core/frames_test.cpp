#include "core/frames.h"
#include "core/codepage.h"

#include <gtest/gtest.h>

namespace tarvo::frames {
namespace {

QByteArray hex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

TEST(Frames, BytesPrefixCodeAndPieces) {
    struct Case {
        const char* name;
        Command cmd;
        QByteArray bytes;
        int prefixCode;  // -1: not checked
        size_t pieces;
    };
    // The command bytes the window's buttons send are checked by the accounting and terminal
    // configuration tables; these are the rest.
    const QStringList law = {"a", " bb ", "", "cccc", "5", "", "777", "  "};
    const std::vector<Case> cases = {
        {"probe", probeWake(), hex("8A"), 1, 1},
        {"enter terminal", enterTerminalMode(), hex("1B 4F 53"), 3, 1},
        {"leave terminal", leaveTerminalMode(), hex("1B 1B 1B 20 20 20 20"), 7, 1},
        {"time 9:05, hour in two pieces", timeAndDate({{2026, 3, 7}, {9, 5, 59}}),
         "\x1DTT0905030726", 13, 9},
        {"time 21:40", timeAndDate({{1999, 12, 31}, {21, 40}}), "\x1DTT2140123199", 13, 8},
        {"time 0:15", timeAndDate({{2000, 1, 1}, {0, 15}}), "\x1DTT0015010100", 13, 9},
        {"time 11:59 (morning)", timeAndDate({{2026, 3, 7}, {11, 59}}), "\x1DTT1159030726", 13, 9},
        {"time 12:15", timeAndDate({{2026, 3, 7}, {12, 15}}), "\x1DTT1215030726", 13, 8},
        {"pulse read", pulseRead(), hex("1D 54 72"), 3, 1},
        {"pulse write", pulseWrite({"005 ", "250 "}), "\x1DTw005 250 ", 192, 3},
        {"empty location", locationInfo({"", "", "", ""}), hex("1D 54 48 0D 0D 0D 0D"), 7, 7},
        {"location trimmed", locationInfo({" Bar 9 ", "", "x", ""}), "\x1DTHBar 9\r\rx\r\r", 13, 7},
        {"location missing lines", locationInfo({"A"}), "\x1DTHA\r\r\r\r", 8, 7},
        {"law first block", lawInfoFirst(law), "\x1DTLa\rbb\r\rcccc\r", 7 + 7, 7},
        {"law second block", lawInfoSecond(law), "5\r\r777\r\r", 4 + 4, 4},
        {"location non-latin", locationInfo({"\u00e9\u20ac\u03a9", "", "", ""}),
         "\x1DTH\xE9\x80?\r\r\r\r", 10, 7},
        {"target prefix", {{targetPrefix(192)}, -1}, hex("1D 54 50 C0"), -1, 1},
        {"open session", {{openSession()}, -1}, hex("1D 45 01"), -1, 1},
        {"close session", {{closeSession()}, -1}, hex("1D 45 00"), -1, 1},
        {"dial", {{dialString("555 1234")}, -1}, "ATDT555 1234\r", -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.cmd.joined().toHex(' '), c.bytes.toHex(' '));
        if (c.prefixCode >= 0) {
            EXPECT_EQ(c.cmd.prefixCode, c.prefixCode);
        }
        EXPECT_EQ(c.cmd.pieces.size(), c.pieces);
    }
}

// The length byte counts every byte of the frame, also past 127 and up to the largest.
TEST(Frames, MultiDropBodyIsTheLengthThenTheFrame) {
    const QByteArray location =
        locationInfo({QString(30, 'L'), QString(30, 'o'), QString(30, 'c'), QString(30, 'n')})
            .joined();
    for (const QByteArray& frame :
         {hex("05"), hex("1D 45 01"), QByteArray("\x1DTHA\r\r\r\r"), location,
          pulseWrite(std::vector<QByteArray>(54, "123 ")).joined(), QByteArray(255, '\xFF')}) {
        SCOPED_TRACE(frame.size());
        const QByteArray body = multiDropBody(frame);
        ASSERT_EQ(body.size(), frame.size() + 1);
        EXPECT_EQ(static_cast<unsigned char>(body[0]), frame.size());
        EXPECT_EQ(body.mid(1), frame);
    }
}

TEST(Frames, PulseWriteItem) {
    const std::vector<std::pair<double, QByteArray>> cases = {
        {0, "000 "},     {5, "005 "},     {502, "502 "},    {12.5, "013 "}, {2.5, "003 "},
        {12.49, "012 "}, {1234, "1234 "}, {-12.5, "-013 "}, {99.5, "100 "},
    };
    for (const auto& [value, item] : cases) {
        EXPECT_EQ(pulseWriteItem(value), item) << value;
    }
}

TEST(Codepage, SingleByteSetBothWays) {
    const std::vector<std::pair<QString, QByteArray>> cases = {
        {"plain", "plain"},
        {"\u20ac\u201a\u0178\u00e9\u00ff", "\x80\x82\x9F\xE9\xFF"},
        {QString(QChar(0x81)), "\x81"},  // an unassigned byte survives a round trip
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(toBoardBytes(text), bytes);
        EXPECT_EQ(fromBoardBytes(bytes), text);
    }
    // Characters the set cannot hold: one '?' each, also outside the basic plane.
    EXPECT_EQ(toBoardBytes("a\u03a9b\U0001F600c" + QString(QChar(0x80)) + QChar(0xD800)),
              "a?b?c??");
}

}  // namespace
}  // namespace tarvo::frames
