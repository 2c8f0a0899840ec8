#include "core/terminal_keys.h"
#include "core/text_lines_file.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(TextLinesFile, ReadsTheFirstLinesAndRefusesWhatIsNoText) {
    using textfile::Problem;
    struct Case {
        QByteArray data;
        QStringList lines;
        Problem problem;
    };
    const Case cases[] = {
        {"  a  \r\n\r\nc\r\nd\r\n", {"  a  ", "", "c", "d"}, Problem::None},
        {"one\ntwo\rthree", {"one", "two", "three", ""}, Problem::None},
        {"", {"", "", "", ""}, Problem::None},
        {"1\r\n2\r\n3\r\n4\r\n5\r\n", {"1", "2", "3", "4"}, Problem::None},
        {"caf\xE9\t\x80\r\n", {"caf\u00e9\t\u20ac", "", "", ""}, Problem::None},
        {QByteArray("a\0b\r\n", 5), {}, Problem::Binary},
        {"a\x1b[0m\r\n", {}, Problem::Binary},
        {QByteArray(textfile::kMaxBytes + 1, 'x'), {}, Problem::TooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data.left(20).toStdString());
        const textfile::Lines read = textfile::readLines(c.data, 4);
        EXPECT_EQ(read.problem, c.problem);
        EXPECT_EQ(read.lines, c.lines);
    }
    EXPECT_EQ(textfile::writeLines({" \u00e9 ", ""}), "\x20\xE9\x20\r\n\r\n");
    EXPECT_EQ(textfile::withExtension("/d/site", ".Loc"), "/d/site.Loc");
    EXPECT_EQ(textfile::withExtension("/d/x.LOC", ".Loc"), "/d/x.LOC");
    EXPECT_EQ(textfile::withExtension("/d/x.loc.bak", ".Loc"), "/d/x.loc.bak.Loc");
}

// The window test covers the plain keys; these are the odd ones.
TEST(TerminalKeys, OneByteForEachTypedCharacterNothingForOtherKeys) {
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        QString text;
        QByteArray bytes;
    };
    const Case cases[] = {
        {Qt::Key_Eacute, Qt::NoModifier, "\u00e9", "\xE9"},
        {Qt::Key_Enter, Qt::KeypadModifier, "\r", "\r"},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "", "\x1a"},
        {Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, "@", "@"},
        {Qt::Key_1, Qt::ControlModifier, "1", ""},
        {Qt::Key_Delete, Qt::NoModifier, "\x7f", ""},
        {Qt::Key_Shift, Qt::ShiftModifier, "", ""},
        {Qt::Key_unknown, Qt::NoModifier, "\u03a9", "?"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(terminalKeyBytes(c.key, c.mods, c.text), c.bytes) << c.key;
    }
}

}  // namespace
}  // namespace tarvo
