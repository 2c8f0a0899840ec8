#include <gtest/gtest.h>

#include "platform/parmrk_decoder.h"

namespace tarvo {
namespace {

using Item = ParmrkDecoder::Item;
using Kind = Item::Kind;

Item ch(unsigned char b) {
    return {Kind::Char, b};
}
Item bad(unsigned char b) {
    return {Kind::ParityError, b};
}
Item brk() {
    return {Kind::Break, 0};
}

struct Case {
    const char* name;
    QByteArray marked;
    std::vector<Item> expected;
};

class ParmrkDecoderTest : public ::testing::TestWithParam<Case> {};

TEST_P(ParmrkDecoderTest, DecodesWholeAndSplitAtEveryByte) {
    const Case& c = GetParam();
    {
        ParmrkDecoder d;
        std::vector<Item> out;
        d.feed(c.marked, out);
        EXPECT_EQ(out, c.expected) << "in one chunk";
    }
    {
        // A marking split over several reads must decode the same.
        ParmrkDecoder d;
        std::vector<Item> out;
        for (char b : c.marked) {
            d.feed(QByteArray(1, b), out);
        }
        EXPECT_EQ(out, c.expected) << "one byte per chunk";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Markings, ParmrkDecoderTest,
    ::testing::Values(
        Case{"plain", QByteArray("AB\0C", 4), {ch('A'), ch('B'), ch(0), ch('C')}},
        Case{"doubled_ff_is_one_ff", QByteArray("\xFF\xFF", 2), {ch(0xFF)}},
        Case{"four_ff_are_two", QByteArray("\xFF\xFF\xFF\xFF", 4), {ch(0xFF), ch(0xFF)}},
        Case{"break", QByteArray("x\xFF\0\0y", 5), {ch('x'), brk(), ch('y')}},
        Case{"two_breaks", QByteArray("\xFF\0\0\xFF\0\0", 6), {brk(), brk()}},
        Case{"parity_error", QByteArray("\xFF\0Z", 3), {bad('Z')}},
        Case{"parity_error_on_ff", QByteArray("\xFF\0\xFF", 3), {bad(0xFF)}},
        Case{"ff_then_break", QByteArray("\xFF\xFF\xFF\0\0", 5), {ch(0xFF), brk()}},
        Case{"unmarked_ff_kept",
             QByteArray("\xFF"
                        "A",
                        2),
             {ch(0xFF), ch('A')}},
        Case{"dangling_mark_waits", QByteArray("a\xFF", 2), {ch('a')}},
        Case{"dangling_mark_zero_waits", QByteArray("a\xFF\0", 3), {ch('a')}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParmrkDecoder, ResetForgetsAHalfMarking) {
    ParmrkDecoder d;
    std::vector<Item> out;
    d.feed(QByteArray("\xFF\0", 2), out);
    d.reset();
    d.feed(QByteArray("\0A", 2), out);
    EXPECT_EQ(out, (std::vector<Item>{ch(0), ch('A')}));
}

}  // namespace
}  // namespace tarvo
