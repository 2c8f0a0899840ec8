#include "core/numeric.h"
#include "core/line_settings.h"

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

}  // namespace
}  // namespace tarvo
