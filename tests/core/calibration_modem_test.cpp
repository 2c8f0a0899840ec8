#include <gtest/gtest.h>

#include "core/calibration.h"
#include "core/modem.h"

namespace tarvo {
namespace {

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
        {"5551234\r", nullptr},         {"555;ATH", nullptr},       {"1-800-TARVO", nullptr},
    };
    for (const auto& [typed, number] : cases) {
        const auto result = dialableNumber(QString::fromLatin1(typed));
        EXPECT_EQ(result.has_value(), number != nullptr) << typed;
        if (result && number) {
            EXPECT_EQ(result->toStdString(), number);
        }
    }
}

}  // namespace
}  // namespace tarvo
