#include <gtest/gtest.h>

#include "core/frames.h"
#include "link/board_link.h"
#include "support/board_harness.h"

// The program's windows against the simulated board over a real pseudo-terminal.
namespace tarvo::test {
namespace {

sim::BoardConfig systemBoard(sim::ProbeAnswer probe) {
    sim::BoardConfig config;
    config.probe = probe;
    return config;
}

TEST(EndToEnd, SessionCommandsOpenAndCloseTheSession) {
    BoardHarness h;
    h.w().Option3->setChecked(true);
    ASSERT_TRUE(h.connect());
    ASSERT_TRUE(h.waitFor([&] { return h.board().state().sessionOpen; }));
    EXPECT_EQ(h.trace().value(0), QStringLiteral("1D 45 01"));
    h.w().Connect->click();
    ASSERT_TRUE(h.waitFor([&] { return !h.board().state().sessionOpen; }));
    EXPECT_EQ(h.trace().last(), QStringLiteral("1D 45 00"));
    EXPECT_FALSE(h.serial().isOpen());
}

TEST(EndToEnd, ATarvoBoardSystemAnswersTheProbe) {
    struct Case {
        sim::ProbeAnswer probe;
        bool connected;
    } cases[] = {{sim::ProbeAnswer::First, true},
                 {sim::ProbeAnswer::AfterWake, true},
                 {sim::ProbeAnswer::Never, false}};
    for (const auto& c : cases) {
        BoardHarness h(systemBoard(c.probe), {}, 100);
        h.w().Option2->setChecked(true);
        EXPECT_EQ(h.connect(), c.connected);
        EXPECT_EQ(h.w().SystemMessage->text(),
                  c.connected ? QStringLiteral("CONNECTED") : QStringLiteral("ERROR CONNECTING"));
        EXPECT_EQ(h.serial().isOpen(), c.connected);
    }
}

TEST(EndToEnd, AMissingPortIsAFailedConnect) {
    BoardHarness h({}, [](SettingsStore& s) {
        s.setValue("Ports", "Com2", "/dev/tarvo-no-such-port");
        s.setValue("Options", "Interface", "1");
    });
    EXPECT_FALSE(h.connect());
    EXPECT_EQ(h.w().SystemMessage->text(), QStringLiteral("ERROR CONNECTING"));
    EXPECT_TRUE(h.w().ResponseWindow->text().contains(QStringLiteral("/dev/tarvo-no-such-port")));
    EXPECT_TRUE(h.w().COMInterface->isEnabled());
}

TEST(EndToEnd, BoardTextAndThePulseStatusFieldArrive) {
    BoardHarness h;
    h.w().Option3->setChecked(true);
    ASSERT_TRUE(h.connect());
    h.w().ResponseWindow->clearText();
    // A coin makes the board count pulses and report them in the status field.
    h.w().PutCoinIn[0]->click();
    ASSERT_TRUE(h.waitFor([&] {
        return h.w().SystemMessage->text().startsWith(QStringLiteral("Counting pulses on  1 "));
    }));
    h.settle();
    // The status field itself never shows in the response box.
    EXPECT_FALSE(h.w().ResponseWindow->text().contains(QChar(0x07)));
    EXPECT_FALSE(h.w().ResponseWindow->text().contains(QChar('/')));
}

TEST(EndToEnd, TheLogAndTheLastCashoutArriveAsText) {
    BoardHarness h;
    h.w().Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    h.w().CmdViewLog->click();
    ASSERT_TRUE(h.waitFor([&] { return h.w().ResponseWindow->text().contains("EVENT LOG"); }));
    h.settle();
    EXPECT_TRUE(h.w().ResponseWindow->text().contains(QStringLiteral("\r\n")));
    EXPECT_TRUE(h.w().ResponseWindow->text().startsWith(QStringLiteral("TARVO BOARD EVENT LOG")) ||
                h.w().ResponseWindow->text().contains(QStringLiteral("\r\nTARVO BOARD EVENT LOG")));

    h.w().ButtonViewLastCashout->click();
    ASSERT_TRUE(h.waitFor([&] { return h.w().ResponseWindow->text().contains("LAST CASHOUT"); }));
    h.settle();
    EXPECT_FALSE(h.w().ResponseWindow->text().contains("EVENT LOG"));
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

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
    EXPECT_EQ(h.w().Connected, 0);
    EXPECT_TRUE(h.w().COMInterface->isEnabled());
    EXPECT_EQ(h.prompts().messages.size(), 1u);
    // Commands are refused, not written into a dead port.
    h.w().link().SendToTarvoBoard(frames::enquiry().joined());
    EXPECT_EQ(h.w().SystemMessage->text(), QStringLiteral("PLEASE CONNECT FIRST"));
}

TEST(EndToEnd, UsbReachesTheSameBoard) {
    BoardHarness h;
    h.w().Option3->setChecked(true);
    h.w().COMInterface->setCurrentIndex(RetreiveAccountingApp::kUsbPosition);
    ASSERT_TRUE(h.connect());
    EXPECT_TRUE(h.board().state().sessionOpen);
    h.w().CmdViewLog->click();
    EXPECT_TRUE(h.w().ResponseWindow->text().contains("EVENT LOG"));
}

}  // namespace
}  // namespace tarvo::test
