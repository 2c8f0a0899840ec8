#include "core/frames.h"
#include "core/codepage.h"

#include <gtest/gtest.h>

namespace tarvo::frames {
namespace {

QByteArray hex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

struct FrameCase {
    const char* name;
    Command cmd;
    QByteArray bytes;
    int prefixCode;
    size_t pieces;
};

// Raw frames that carry no target prefix of their own.
Command raw(QByteArray b) {
    return Command{{std::move(b)}, -1};
}

TEST(Frames, BytesPrefixCodeAndPieces) {
    const QStringList location = {"  Bar 9  ", "Main St", "", "x"};
    const QStringList law = {"a", " bb ", "", "cccc", "5", "", "777", "  "};
    const std::vector<FrameCase> cases = {
        {"params t0 25/100/cents", terminalParameters(0, 8 + 0x20, 0x20 | 0x01),
         hex("1D 54 4F 00 A5 28 21 00"), 8, 1},
        {"params t3 5000/50/dollar", terminalParameters(3, 21 + 0xE0, 0x00),
         hex("1D 54 4F 03 A5 F5 00 00"), 8, 1},
        {"params dip keeps zero bytes", terminalParametersDip(4), hex("1D 54 4F 04 00 00 00 00"), 8,
         1},
        {"force cashout third panel", forceCashout(2), hex("1B 43 33"), 3, 1},
        {"coin in first panel", coinIn(0), hex("1D 54 4D 31 C8 00"), 6, 1},
        {"multiplier A sixth panel 25", coinInMultiplier('A', 5, 25), hex("1D 54 41 05 19"), 5, 1},
        {"multiplier B 254", coinInMultiplier('B', 0, 254), hex("1D 54 42 00 FE"), 5, 1},
        {"view log", viewLog(), hex("1D 54 6C"), 3, 1},
        {"key", keyCommand(), hex("1D 42 31 31"), 4, 1},
        {"last cashout", lastCashout(), hex("1B 4F 54"), 3, 1},
        {"cash commit", cashCommit(), hex("1D 43 43"), 3, 1},
        {"enquiry", enquiry(), hex("05"), 1, 1},
        {"probe", probeWake(), hex("8A"), 1, 1},
        {"meter request", meterRequest(), hex("80 81 81"), 3, 1},
        {"clear first", clearMemoryFirst(), hex("8D"), 1, 1},
        {"clear second", clearMemorySecond(), hex("81 80"), 2, 1},
        {"enter terminal", enterTerminalMode(), hex("1B 4F 53"), 3, 1},
        {"leave terminal", leaveTerminalMode(), hex("1B 1B 1B 20 20 20 20"), 7, 1},
        {"backspace key", keystroke(0x08), hex("08"), 1, 1},
        {"pulse read", pulseRead(), hex("1D 54 72"), 3, 1},
        {"pulse write fixed code", pulseWrite({"005 ", "250 "}), QByteArray("\x1DTw005 250 "), 192,
         3},
        {"empty location", locationInfo({"", "", "", ""}), hex("1D 54 48 0D 0D 0D 0D"), 7, 7},
        {"location trimmed", locationInfo(location), QByteArray("\x1DTHBar 9\rMain St\r\rx\r"),
         5 + 7 + 0 + 1 + 7, 7},
        {"location missing lines", locationInfo({"A"}), QByteArray("\x1DTHA\r\r\r\r"), 8, 7},
        {"law first block", lawInfoFirst(law), QByteArray("\x1DTLa\rbb\r\rcccc\r"), 7 + 7, 7},
        {"law second block", lawInfoSecond(law), QByteArray("5\r\r777\r\r"), 4 + 4, 4},
        {"location non-latin", locationInfo({"caf\u00e9 \u20ac\u03a9", "", "", ""}),
         QByteArray("\x1DTHcaf\xE9 \x80?\r\r\r\r"), 14, 7},
        {"target prefix", raw(targetPrefix(8)), hex("1D 54 50 08"), -1, 1},
        {"target prefix 192", raw(targetPrefix(192)), hex("1D 54 50 C0"), -1, 1},
        {"open session", raw(openSession()), hex("1D 45 01"), -1, 1},
        {"close session", raw(closeSession()), hex("1D 45 00"), -1, 1},
        {"dial", raw(dialString("555 1234")), QByteArray("ATDT555 1234\r"), -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.cmd.joined().toHex(' '), c.bytes.toHex(' '));
        EXPECT_EQ(c.cmd.joined().size(), c.bytes.size());
        if (c.prefixCode >= 0) {
            EXPECT_EQ(c.cmd.prefixCode, c.prefixCode);
        }
        EXPECT_EQ(c.cmd.pieces.size(), c.pieces);
    }
}

TEST(Frames, TimeAndDatePieces) {
    struct Case {
        QDateTime at;
        std::vector<QByteArray> pieces;
    };
    const QByteArray gs(1, GS);
    const std::vector<Case> cases = {
        {QDateTime(QDate(2026, 3, 7), QTime(9, 5, 59)),
         {gs, "T", "T", "0", "9", "05", "03", "07", "26"}},
        {QDateTime(QDate(2026, 3, 7), QTime(21, 40)), {gs, "T", "T", "21", "40", "03", "07", "26"}},
        {QDateTime(QDate(2000, 1, 1), QTime(0, 15)),
         {gs, "T", "T", "0", "0", "15", "01", "01", "00"}},
        {QDateTime(QDate(1999, 12, 31), QTime(12, 15)),
         {gs, "T", "T", "12", "15", "12", "31", "99"}},
        {QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)),
         {gs, "T", "T", "23", "59", "12", "31", "26"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at.toString(Qt::ISODate).toStdString());
        const Command cmd = timeAndDate(c.at);
        EXPECT_EQ(cmd.pieces, c.pieces);
        EXPECT_EQ(cmd.joined().size(), 13);
        EXPECT_EQ(cmd.prefixCode, 13);
    }
}

TEST(Frames, PulseWriteItem) {
    const std::vector<std::pair<double, QByteArray>> cases = {
        {0, "000 "},   {5, "005 "},     {250, "250 "},   {502, "502 "},    {12.5, "013 "},
        {2.5, "003 "}, {12.49, "012 "}, {1234, "1234 "}, {-12.5, "-013 "}, {99.5, "100 "},
    };
    for (const auto& [value, item] : cases) {
        EXPECT_EQ(pulseWriteItem(value), item) << value;
    }
}

TEST(Codepage, SingleByteSetBothWays) {
    struct Case {
        QString text;
        QByteArray bytes;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {QString::fromUtf8("\u20ac\u201a\u0178"), "\x80\x82\x9F"},
        {QString::fromUtf8("\u00e9\u00ff\u00a0"), "\xE9\xFF\xA0"},
        {QString(QChar(0x81)), "\x81"},  // an unassigned byte survives a round trip
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(toBoardBytes(c.text), c.bytes);
        EXPECT_EQ(fromBoardBytes(c.bytes), c.text);
    }
    // Characters the set cannot hold: one '?' each, also outside the basic plane.
    EXPECT_EQ(toBoardBytes(QString::fromUtf8("a\u03a9b\U0001F600c")), "a?b?c");
    EXPECT_EQ(toBoardBytes(QString(QChar(0x80))), "?");
    EXPECT_EQ(toBoardBytes(QString(QChar(0xD800))), "?");
}

}  // namespace
}  // namespace tarvo::frames
