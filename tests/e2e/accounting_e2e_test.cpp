#include <gtest/gtest.h>

#include "support/board_harness.h"

// The parameter write against the simulated board. View Info is compared box by box with the
// board in the audit's end-to-end test.
namespace tarvo::test {
namespace {

TEST(EndToEndAccounting, AParameterWriteComesBackFromTheBoard) {
    BoardHarness h;
    h.w().Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    auto& w = h.w();
    w.cmdViewOnly->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(w.cmdWriteToTarvo[3]->isVisible());
    w.cmbPulseValue[3]->setListIndex(8);       // "25"
    w.cmbPulseMultiplier[3]->setListIndex(9);  // "100"
    w.cmbValueIn[3]->setListIndex(1);          // "CENTS"
    const qsizetype before = h.trace().size();
    w.cmdWriteToTarvo[3]->click();
    ASSERT_TRUE(h.idle());
    // Written, then the session closed and opened again and the report read anew.
    const QStringList after = h.trace().mid(before);
    const qsizetype write = after.indexOf("1D 54 4F 03 A5 28 21 00");
    const qsizetype close = after.indexOf("1D 45 00", write);
    const qsizetype open = after.indexOf("1D 45 01", close);
    EXPECT_TRUE(write >= 0 && close > write && open > close &&
                after.indexOf("80 81 81", open) > open)
        << after.join('\n').toStdString();
    const auto& t = h.board().state().terminals[3];
    EXPECT_EQ(t.pulseValueText(), QByteArray("25"));
    EXPECT_EQ(t.multiplierText(), QByteArray("100"));
    EXPECT_TRUE(t.cents);
    // The automatic reconnect read the report again.
    EXPECT_EQ(w.Connect->text(), QStringLiteral("Disconnect"));
    EXPECT_EQ(w.PulseInPerPoint[3]->text(), QStringLiteral("25"));
    EXPECT_EQ(w.PulseInMultiplier[3]->text(), QStringLiteral("100"));
    EXPECT_EQ(w.ValueIn[3]->text(), QStringLiteral("CENTS"));
    EXPECT_FALSE(w.cmdWriteToTarvo[3]->isHidden());
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

}  // namespace
}  // namespace tarvo::test
