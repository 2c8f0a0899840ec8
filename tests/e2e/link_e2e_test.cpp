#include <gtest/gtest.h>

#include "core/frames.h"
#include "session/board_session.h"
#include "support/board_harness.h"
#include "support/session_fixture.h"

// The program's windows against the simulated board over a real pseudo-terminal.
namespace tarvo::test {
namespace {

TEST(EndToEnd, OnAMultiDropLineOnlyTheAddressedBoardAnswers) {
    for (int address : {5, 6}) {
        sim::BoardConfig config;
        config.multiDropAddress = 5;
        BoardHarness h(config, [address](SettingsStore& s) {
            s.setValue("Options", "Cashless", "True");
            s.setValue("Options", "MultiDropAddress", QString::number(address));
        });
        ASSERT_TRUE(h.w().Option4->isChecked());
        ASSERT_TRUE(h.connect());
        h.w().CmdViewLog->click();
        ASSERT_TRUE(h.idle());
        const bool answered = h.waitFor([&] { return h.w().ResponseWindow->length() > 0; }, 1500);
        EXPECT_EQ(answered, address == 5) << address;
        EXPECT_TRUE(h.board().protocolErrors().isEmpty())
            << h.board().protocolErrors().join('\n').toStdString();
    }
}

TEST(EndToEnd, UnpluggingTheBoardEndsDisconnectedWithAMessage) {
    BoardHarness h;
    h.w().Option3->setChecked(true);
    ASSERT_TRUE(h.connect());
    h.pty().close();
    ASSERT_TRUE(
        h.waitFor([&] { return h.w().Connect->text() == QStringLiteral("Connect"); }, 5000));
    EXPECT_EQ(h.w().session().Connected, 0);
    EXPECT_TRUE(h.w().COMInterface->isEnabled());
    EXPECT_EQ(h.prompts().messages.size(), 1u);
    // Commands are refused, not written into a dead port.
    done(h.w().session().SendToTarvoBoard(frames::enquiry().joined()));
    EXPECT_EQ(h.w().SystemMessage->text(), QStringLiteral("PLEASE CONNECT FIRST"));
}

}  // namespace
}  // namespace tarvo::test
