#include <gtest/gtest.h>

#include "pulse_test_support.h"
#include "support/board_harness.h"

// READ and WRITE of the pulse-width window against the simulated board over a real pty.
namespace tarvo::test {
namespace {

using Pulses = std::array<std::array<int, 6>, 9>;

Pulses windowValues(const FrmSetPulses& p) {
    Pulses v{};
    for (int n = 0; n < 6; ++n) {
        for (int k = 0; k < 8; ++k) {
            v[k][n] = (p.*kBlockBoxes[k])[n]->text().toInt();
        }
        v[8][n] = p.CmbHopper[n]->currentIndex();
    }
    return v;
}

// READ fills the six games with what the board holds, which is what WRITE sent.
TEST(EndToEndPulses, WrittenValuesReadBackUnchanged) {
    for (const bool brisko : {true, false}) {
        SCOPED_TRACE(brisko);
        sim::BoardConfig config;
        config.requirePrefix = brisko;
        BoardHarness h(config);
        (brisko ? h.w().Option1 : h.w().Option3)->setChecked(true);
        ASSERT_TRUE(h.connect());
        FrmSetPulses& p = openPulses(h);
        Pulses written{};
        fillPulses(p, [&](int k, int n) {
            return written[k][n] = k == 8             ? (n + 1) % 2
                                   : k == 0 && n == 5 ? 502
                                                      : 3 + 40 * k + 7 * n;
        });
        p.CmdWrite->click();
        ASSERT_TRUE(h.idle());
        h.settle();
        EXPECT_EQ(h.board().state().pulses, written);
        // Behind a Brisko system the board checks the prefix and its fixed code 192.
        EXPECT_EQ(h.trace().contains("1D 54 50 C0"), brisko);

        fillPulses(p, [](int k, int) { return k == 8 ? -1 : 1; });
        p.CmdRead->click();
        ASSERT_TRUE(h.idle());
        EXPECT_EQ(windowValues(p), written);
        EXPECT_EQ(p.TxtPulse1On[0]->text(), "003");  // as the board sends it
        EXPECT_TRUE(h.board().protocolErrors().isEmpty())
            << h.board().protocolErrors().join('\n').toStdString();
    }
}

}  // namespace
}  // namespace tarvo::test
