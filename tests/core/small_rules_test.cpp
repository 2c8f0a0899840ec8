// Small rules of the core: numbers, line settings, calibration, modem answers, text files, keys
// and the receive interpreter.
#include "core/calibration.h"
#include "core/line_settings.h"
#include "core/modem.h"
#include "core/numeric.h"
#include "core/rx_interpreter.h"
#include "core/terminal_keys.h"
#include "core/text_lines_file.h"

#include <gtest/gtest.h>

#include "support/qstring_printer.h"

#include <cmath>
#include <limits>

namespace tarvo {
namespace {

TEST(Numeric, LeadingNumber) {
    const std::vector<std::pair<QString, double>> cases = {
        {"254", 254}, {"2.5", 2.5}, {"12abc", 12},   {"abc", 0},       {"", 0},        {"1e2", 100},
        {"-3", -3},   {" 5", 5},    {"1 000", 1000}, {"- 3", -3},      {"+7", 7},      {".5", 0.5},
        {"-", 0},     {".", 0},     {"1e+", 1},      {"2.5E-1", 0.25}, {"1.2.3", 1.2}, {"5,5", 5},
        {"0x10", 0},  {"--3", 0},   {"75 (x8)", 75}, {"1e-999", 0},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_DOUBLE_EQ(leadingNumber(text), value) << text.toStdString();
    }
    EXPECT_EQ(leadingNumber(u"1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumber(u"-1e999"), -std::numeric_limits<double>::infinity());
}

TEST(Numeric, Rounding) {
    struct Case {
        double value;
        int64_t even, away;
    };
    const std::vector<Case> cases = {
        {2.5, 2, 3},    {3.5, 4, 4},    {0.5, 0, 1},       {-2.5, -2, -3}, {-3.5, -4, -4},
        {2.4999, 2, 2}, {2.5001, 3, 3}, {254.6, 255, 255}, {-0.4, 0, 0},   {7, 7, 7},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundHalfEven(c.value), c.even) << c.value;
        EXPECT_EQ(roundHalfAway(c.value), c.away) << c.value;
    }
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(roundHalfEven(inf), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(roundHalfAway(-inf), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(roundHalfEven(std::nan("")), 0);
}

TEST(Numeric, MultiDropAddress) {
    const std::vector<std::pair<QString, int>> valid = {
        {" 5", 5}, {"0", 0}, {"255", 255}, {"007", 7}, {"33 ", 33}};
    for (const auto& [text, address] : valid) {
        EXPECT_EQ(multiDropAddress(text), address) << text.toStdString();
    }
    for (const char* text : {"256", "-1", "", "  ", "5a", "5.0", "+5", "1 2", "99999999999999"}) {
        EXPECT_EQ(multiDropAddress(QString::fromLatin1(text)), std::nullopt) << '"' << text << '"';
    }
}

TEST(LineSettings, Parse) {
    const std::vector<std::pair<QString, LineSettings>> valid = {
        {"9600,N,8,1", {9600, 'N', 8, 1}},
        {"9600,M,8,1", {9600, 'M', 8, 1}},
        {"4800,E,7,2", {4800, 'E', 7, 2}},
        {"19200,o,8,1", {19200, 'O', 8, 1}},
    };
    for (const auto& [text, settings] : valid) {
        EXPECT_EQ(parseLineSettings(text), settings) << text.toStdString();
    }
    for (const char* text : {"", "9600", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "9600,N,8,1,1",
                             "abc,N,8,1", "-9600,N,8,1", "9600,NN,8,1", "9600,,8,1"}) {
        EXPECT_EQ(parseLineSettings(text), std::nullopt) << text;
    }
}

TEST(Calibration, MultiplierFromThePulsesCountedAndItsPlaceInTheList) {
    // pulses, cents, multiplier
    const std::tuple<int64_t, bool, int32_t> cases[] = {
        {4, true, 25}, {8, true, 12}, {40, true, 2}, {3, true, 33},
        {1, false, 1}, {2, false, 0}, {0, true, 0},  {-4, true, 0},
    };
    for (const auto& [pulses, cents, multiplier] : cases) {
        EXPECT_EQ(calibrationMultiplier(pulses, cents), multiplier) << pulses << " " << cents;
    }
    const QStringList items = {"1",  "2",   "5",   "10",  "15",  "20",  "25",  "50",
                               "75", "100", "150", "200", "250", "400", "500", "1000"};
    EXPECT_EQ(multiplierPosition(items, 25), 6);
    EXPECT_EQ(multiplierPosition(items, 500), 14);
    EXPECT_EQ(multiplierPosition(items, 1000), -1);  // position 15 is beyond the search
    EXPECT_EQ(multiplierPosition(items, 33), -1);
}

TEST(ModemResult, WordsInTableOrderOnceEnoughHasArrived) {
    // text, characters received (-1: the text's length), word ("": none yet)
    const std::tuple<const char*, int, const char*> cases[] = {
        {"BUSY\r\n", -1, "BUSY"},
        {"NO CARRIER\r\n", -1, "NO CARRIER"},
        {"NO DIALTONE\r\n", -1, "NO DIALTONE"},
        {"ERROR\r\n", -1, "MODEM ERROR"},
        {"CONNECT 9600\r\n", -1, "SUCCESS"},
        {"CONNECT 9600\r\nERROR\r\n", -1, "MODEM ERROR"},  // table order, not text order
        {"CONNECT 2400\r\n", -1, ""},
        {"connect 9600\r\n", -1, ""},
        {"BUSY", -1, ""},  // not more characters than the word's threshold
        {"CONNECT 9600\r", 13, "SUCCESS"},
        // Four LFs counted once each but shown as CR LF: "BUSY" starts at text position 9.
        {"\r\n\r\n\r\n\r\nBUSY\r\n", 9, ""},
        {"\r\n\r\n\r\n\r\nBUSY\r\n", 10, "BUSY"},
    };
    for (const auto& [text, received, word] : cases) {
        const QString t = QString::fromLatin1(text);
        const auto found = modemResult(t, received < 0 ? static_cast<int>(t.size()) : received);
        EXPECT_EQ(found.value_or(QString()).toStdString(), word)
            << QString(t).replace("\r", "\\r").replace("\n", "\\n").toStdString();
    }
}

TEST(DialableNumber, KeepsDialCharactersAndRefusesWhatWouldBreakTheCommand) {
    const std::pair<const char*, const char*> cases[] = {
        {"(02) 555-0100", "025550100"}, {"+61.2 *9,#", "+612*9,#"}, {"  - ", ""},
        {"5551234\r", "(refused)"},     {"555;ATH", "(refused)"},   {"1-800-TARVO", "(refused)"},
    };
    for (const auto& [typed, number] : cases) {
        EXPECT_EQ(dialableNumber(QString::fromLatin1(typed)).value_or("(refused)"), number)
            << typed;
    }
}

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

// Plays a byte stream through the interpreter onto a response box and a status box.
struct Screen {
    QString box;
    QStringList statuses;

    void run(RxInterpreter& rx, const QByteArray& input) {
        for (char ch : input) {
            const RxEffect e = rx.feed(static_cast<unsigned char>(ch));
            if (e.kind == RxEffect::Append) {
                box += QLatin1Char(e.ch);
            } else if (e.kind == RxEffect::Status) {
                statuses << e.status;
            } else if (e.kind != RxEffect::Nothing) {  // a line break, perhaps in an emptied box
                box = (e.kind == RxEffect::ClearThenLineBreak ? QString() : box) + "\r\n";
            }
        }
    }
};

const QByteArray kField("\x1B/\x07");

QString pulses(int terminal, char spin) {
    return QStringLiteral("Counting pulses on  %1 %2").arg(terminal).arg(QLatin1Char(spin));
}

TEST(RxInterpreter, Table) {
    struct Case {
        const char* name;
        QString boxBefore;
        QByteArray input;
        QString boxAfter;
        QStringList statuses;
        int16_t stateAfter = 0;
        int16_t stateBefore = 0;
    };
    const QByteArray five = kField + "\x01\r";
    const std::vector<Case> cases = {
        {"line ends", "", "AB\r\nC", "AB\r\nC", {}},
        {"lone CR shows nothing", "x", "\r", "x", {}},
        {"lone LF is a line break", "x", "\n", "x\r\n", {}},
        {"three positions then LF keep the box",
         "keep",
         kField + "\x01x\x01\n",
         "keep\r\n",
         {pulses(1, '|'), pulses(3, '/')}},
        {"four positions then LF empty the box", "old", kField + "abcd\n", "\r\n", {}},
        {"spinner turns on across fields, terminals 1 to 6",
         "old",
         five + five + five + kField + "x\x01\x01\x01\x01\x01\n",
         "\r\n",
         {pulses(1, '|'), pulses(1, '/'), pulses(1, '-'), pulses(2, '\\'), pulses(3, '|'),
          pulses(4, '/'), pulses(5, '-'), pulses(6, '\\')}},
        {"field then CR returns to text", "", kField + "zz\rQ", "Q", {}},
        {"ESC A shows A", "", "\033A", "A", {}},
        {"ESC / B shows B", "", "\x1B/B", "B", {}},
        {"ESC inside a field starts over", "", kField + "\x1BQ", "Q", {}},
        {"slash and BEL outside escapes", "", "/\x07/", "//", {}},
        {"bytes below 20 and above 127 dropped", "", "\x80\x13\x14\x7F\xFF\x01", "\x14\x7F", {}},
        {"open field remembers its position", "", kField + "ab", "", {}, 5},
        {"ESC waits for the next byte", "", "\x1B", "", {}, 1},
        {"endless field stays a field", "", "abc", "", {}, 32767, 32766},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RxInterpreter rx;
        rx.setState(c.stateBefore);
        Screen s{c.boxBefore, {}};
        s.run(rx, c.input);
        EXPECT_EQ(s.box, c.boxAfter);
        EXPECT_EQ(s.statuses, c.statuses);
        EXPECT_EQ(rx.state(), c.stateAfter);
    }
}

}  // namespace
}  // namespace tarvo
