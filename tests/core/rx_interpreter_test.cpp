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
        {"high and low bytes dropped, 20 and 127 kept",
         "",
         "\x80\x13\x14\x7F\xFF\x01",
         "\x14\x7F",
         {}},
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
