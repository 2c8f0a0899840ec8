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
const Item brk{Kind::Break, 0};

// Each marking decodes the same in one chunk and split over reads at every byte.
TEST(ParmrkDecoder, DecodesWholeAndSplitAtEveryByte) {
    const std::pair<QByteArray, std::vector<Item>> cases[] = {
        {QByteArray("AB\0C", 4), {ch('A'), ch('B'), ch(0), ch('C')}},
        {QByteArray("\xFF\xFF\xFF\xFF", 4), {ch(0xFF), ch(0xFF)}},  // doubled FF is one FF
        {QByteArray("x\xFF\0\0y", 5), {ch('x'), brk, ch('y')}},
        {QByteArray("\xFF\0\0\xFF\0\0", 6), {brk, brk}},
        {QByteArray("\xFF\0Z", 3), {bad('Z')}},
        {QByteArray("\xFF\0\xFF", 3), {bad(0xFF)}},
        {QByteArray("\xFF\xFF\xFF\0\0", 5), {ch(0xFF), brk}},
        {QByteArray("\xFF\x41", 2), {ch(0xFF), ch('A')}},  // an unmarked FF is kept
        {QByteArray("a\xFF", 2), {ch('a')}},               // a dangling mark waits
        {QByteArray("a\xFF\0", 3), {ch('a')}},
    };
    for (const auto& [marked, expected] : cases) {
        SCOPED_TRACE(marked.toHex(' ').toStdString());
        ParmrkDecoder whole, split;
        std::vector<Item> out, outSplit;
        whole.feed(marked, out);
        EXPECT_EQ(out, expected);
        for (char b : marked) {
            split.feed(QByteArray(1, b), outSplit);
        }
        EXPECT_EQ(outSplit, expected);
    }
}

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
