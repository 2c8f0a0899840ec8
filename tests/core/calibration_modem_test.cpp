#include <gtest/gtest.h>

#include "core/calibration.h"
#include "core/modem.h"

namespace tarvo {
namespace {

TEST(CalibrationMultiplier, FromThePulsesOfFourTestCoins) {
    struct Case {
        int64_t pulses;
        bool cents;
        int32_t multiplier;
    };
    const Case cases[] = {
        {4, true, 25},  {8, true, 12},  {40, true, 2},  {3, true, 33}, {200, true, 0},
        {1, false, 1},  {2, false, 0},  {0, true, 0},   {0, false, 0}, {-4, true, 0},
        {-1, false, 0}, {1, true, 100}, {400, true, 0}, {8, false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(calibrationMultiplier(c.pulses, c.cents), c.multiplier)
            << c.pulses << (c.cents ? " cents" : " other");
    }
}

TEST(CalibrationMultiplier, SearchStopsAtTheFifteenthItem) {
    const QStringList items = {"1",  "2",   "5",   "10",  "15",  "20",  "25",  "50",
                               "75", "100", "150", "200", "250", "400", "500", "1000"};
    EXPECT_EQ(multiplierPosition(items, 25), 6);
    EXPECT_EQ(multiplierPosition(items, 1), 0);
    EXPECT_EQ(multiplierPosition(items, 500), 14);
    EXPECT_EQ(multiplierPosition(items, 1000), -1);  // position 15 is beyond the search
    EXPECT_EQ(multiplierPosition(items, 33), -1);
    EXPECT_EQ(multiplierPosition(items, 0), -1);
    EXPECT_EQ(multiplierPosition({"5"}, 5), 0);
}

TEST(ModemResult, WordsInTableOrderOnceEnoughHasArrived) {
    struct Case {
        const char* text;
        int received;      // -1: the length of the text
        const char* word;  // nullptr: nothing recognised yet
    };
    const Case cases[] = {
        {"BUSY\r\n", -1, "BUSY"},
        {"NO CARRIER\r\n", -1, "NO CARRIER"},
        {"NO DIALTONE\r\n", -1, "NO DIALTONE"},
        {"ERROR\r\n", -1, "MODEM ERROR"},
        {"CONNECT 9600\r\n", -1, "SUCCESS"},
        {"CONNECT 9600\r\nERROR\r\n", -1, "MODEM ERROR"},  // table order, not text order
        {"NO CARRIER BUSY", -1, "BUSY"},
        {"CONNECT 2400\r\n", -1, nullptr},
        {"connect 9600\r\n", -1, nullptr},
        {"BUSY", -1, nullptr},          // 4 characters: not more than the threshold
        {"BUSY\r", -1, "BUSY"},         // 5 characters, the word starts at 1
        {"CONNECT 9600", 12, nullptr},  // needs more than 12
        {"CONNECT 9600\r", 13, "SUCCESS"},
        // Four LFs counted once each but shown as CR LF: "BUSY" starts at text position 9,
        // so 8 and 9 received characters are not yet enough.
        {"\r\n\r\n\r\n\r\nBUSY\r\n", 8, nullptr},
        {"\r\n\r\n\r\n\r\nBUSY\r\n", 9, nullptr},
        {"\r\n\r\n\r\n\r\nBUSY\r\n", 10, "BUSY"},
        {"", 0, nullptr},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        const int received = c.received < 0 ? static_cast<int>(text.size()) : c.received;
        const auto word = modemResult(text, received);
        SCOPED_TRACE(QString(text).replace("\r", "\\r").replace("\n", "\\n").toStdString());
        if (c.word) {
            ASSERT_TRUE(word.has_value());
            EXPECT_EQ(word->toStdString(), c.word);
        } else {
            EXPECT_FALSE(word.has_value()) << word->toStdString();
        }
    }
}

TEST(DialableNumber, KeepsDialCharactersAndRefusesWhatWouldBreakTheCommand) {
    struct Case {
        const char* typed;
        const char* number;  // nullptr: refused
    };
    const Case cases[] = {
        {"555-1234", "5551234"},
        {" (02) 9876 5432 ", "0298765432"},
        {"+61.2.9876", "+6129876"},
        {"9,,5551234*#", "9,,5551234*#"},
        {"", ""},
        {"  - ", ""},
        {"5551234\r", nullptr},
        {"555;ATH", nullptr},
        {"555\n1234", nullptr},
        {"1-800-TARVO", nullptr},
    };
    for (const Case& c : cases) {
        const auto number = dialableNumber(QString::fromLatin1(c.typed));
        if (c.number) {
            ASSERT_TRUE(number.has_value()) << c.typed;
            EXPECT_EQ(number->toStdString(), c.number);
        } else {
            EXPECT_FALSE(number.has_value()) << c.typed;
        }
    }
}

}  // namespace
}  // namespace tarvo
