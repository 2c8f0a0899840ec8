#include "core/rx_interpreter.h"

#include <gtest/gtest.h>

#include "support/qstring_printer.h"

#include <QStringList>

namespace tarvo {
namespace {

// Plays a byte stream through the interpreter onto a response box and a status box.
struct Screen {
    QString box;
    QStringList statuses;

    void run(RxInterpreter& rx, const QByteArray& input) {
        for (char ch : input) {
            const RxEffect e = rx.feed(static_cast<unsigned char>(ch));
            switch (e.kind) {
                case RxEffect::Nothing:
                    break;
                case RxEffect::Append:
                    box += QLatin1Char(e.ch);
                    break;
                case RxEffect::LineBreak:
                    box += QStringLiteral("\r\n");
                    break;
                case RxEffect::ClearThenLineBreak:
                    box = QStringLiteral("\r\n");
                    break;
                case RxEffect::Status:
                    statuses << e.status;
                    break;
            }
        }
    }
};

const QByteArray kField("\x1B/\x07");

TEST(RxInterpreter, Table) {
    struct Case {
        const char* name;
        QString boxBefore;
        QByteArray input;
        QString boxAfter;
        QStringList statuses;
        int16_t stateAfter;
    };
    const std::vector<Case> cases = {
        {"line ends", "", "AB\r\nC", "AB\r\nC", {}, 0},
        {"lone CR shows nothing", "x", "\r", "x", {}, 0},
        {"lone LF is a line break", "x", "\n", "x\r\n", {}, 0},
        {"marks on terminals 1 and 3, field of 4 positions keeps the box",
         "keep",
         kField + "\x01x\x01\n",
         "keep\r\n",
         {"Counting pulses on  1 |", "Counting pulses on  3 /"},
         0},
        {"four positions then LF empties the box", "old", kField + "abcd\n", "\r\n", {}, 0},
        {"six positions then LF empties the box",
         "old",
         kField + "\x01\x01\x01\x01\x01\x01\n",
         "\r\n",
         {"Counting pulses on  1 |", "Counting pulses on  2 /", "Counting pulses on  3 -",
          "Counting pulses on  4 \\", "Counting pulses on  5 |", "Counting pulses on  6 /"},
         0},
        {"field then CR returns to text", "", kField + "zz\rQ", "Q", {}, 0},
        {"ESC A shows A",
         "",
         "\x1B"
         "A",
         "A",
         {},
         0},
        {"ESC / B shows B", "", "\x1B/B", "B", {}, 0},
        {"ESC inside a field starts over", "", kField + "\x1BQ", "Q", {}, 0},
        {"slash and BEL outside escapes", "", "/\x07/", "//", {}, 0},
        {"high and low bytes dropped, 20 and 127 kept",
         "",
         "\x80\x13\x14\x7F\xFF\x01",
         "\x14\x7F",
         {},
         0},
        {"open field remembers its position", "", kField + "ab", "", {}, 5},
        {"ESC waits for the next byte", "", "\x1B", "", {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RxInterpreter rx;
        Screen s{c.boxBefore, {}};
        s.run(rx, c.input);
        EXPECT_EQ(s.box, c.boxAfter);
        EXPECT_EQ(s.statuses, c.statuses);
        EXPECT_EQ(rx.state(), c.stateAfter);
    }
}

TEST(RxInterpreter, SpinnerCarriesAcrossFields) {
    RxInterpreter rx;
    Screen s;
    s.run(rx, kField + "\x01\r" + kField + "\x01\r" + kField + "\x01\r" + kField + "x\x01\r" +
                  kField + "\x01\r");
    EXPECT_EQ(s.statuses, QStringList({"Counting pulses on  1 |", "Counting pulses on  1 /",
                                       "Counting pulses on  1 -", "Counting pulses on  2 \\",
                                       "Counting pulses on  1 |"}));
    EXPECT_EQ(rx.spinnerCount(), 5);
}

TEST(RxInterpreter, EndlessFieldStaysAField) {
    RxInterpreter rx;
    rx.setState(32766);
    Screen s;
    s.run(rx, "abc");
    EXPECT_EQ(s.box, "");
    EXPECT_EQ(rx.state(), 32767);
}

}  // namespace
}  // namespace tarvo
