#include <gtest/gtest.h>

#include "support/board_harness.h"

// Auto calibration and modem dialling against the simulated board over a pseudo-terminal.
namespace tarvo::test {
namespace {

// Four test coins under "CENTS": one pulse each makes 100 / 4 = 25; two make 12, which the
// list does not offer, so nothing is written and the editor keeps the board's multiplier.
TEST(EndToEndCalibration, TheMultiplierComesBackFromTheBoard) {
    struct Case {
        int pulsesPerCoin;
        const char* multiplier;  // on the board afterwards
        const char* message;     // "": none
    };
    const Case cases[] = {{1, "25", ""}, {2, "1", "Can't Calibrate...."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pulsesPerCoin);
        // The coin's pulses come at the pace of the fast ticks, as they do of real ones.
        sim::BoardConfig config;
        config.pulseIntervalMs = 1;
        BoardHarness h(config);
        auto& t = h.board().state().terminals;
        t[1].pulsesPerCoin = c.pulsesPerCoin;
        t[1].cents = true;
        ASSERT_TRUE(h.connect());
        auto& w = h.w();
        w.CmdTerminalToCalibrate->setCurrentIndex(1);
        w.CmdAutoCalibrate->click();
        ASSERT_TRUE(h.idle());
        h.settle();
        EXPECT_EQ(h.prompts().messageTexts().join('|'), c.message);
        EXPECT_EQ(t[1].multiplierText(), c.multiplier);
        EXPECT_EQ(t[1].coinMultA, 25) << h.trace().join("\n").toStdString();
        EXPECT_EQ(t[1].coin1, 4);
        // The board's report, read again, shows what was set.
        w.cmdViewOnly->click();
        ASSERT_TRUE(h.idle());
        EXPECT_EQ(w.PulseInMultiplier[1]->text(), c.multiplier);
        EXPECT_EQ(w.cmbPulseMultiplier[1]->text(), c.multiplier);
        EXPECT_EQ(w.TxtCoinInMultiA[1]->text().trimmed(), "25");
        EXPECT_EQ(w.Connect->text(), "Disconnect");
        EXPECT_TRUE(h.board().protocolErrors().isEmpty())
            << h.board().protocolErrors().join('\n').toStdString();
    }
}

TEST(EndToEndModem, OnlyConnect9600Connects) {
    struct Case {
        sim::ModemResult modem;
        const char* shown;  // in the response box after the connect
        bool connected;
    };
    const Case cases[] = {
        {sim::ModemResult::Connect, "", true},
        {sim::ModemResult::Busy, "BUSY\r\n\r\nNo connection through the modem: BUSY", false},
        {sim::ModemResult::NoCarrier,
         "NO CARRIER\r\n\r\nNo connection through the modem: NO CARRIER", false},
        {sim::ModemResult::Silent, "\r\nNo connection through the modem: NO ANSWER", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        sim::BoardConfig config;
        config.modem = c.modem;
        config.modemDelayMs = 150;  // between the 3 ticks of settling and the 60 of giving up
        BoardHarness h(config, {}, 20);
        auto& w = h.w();
        h.prompts().inputAnswers.push_back("555-0100");
        w.ButtonDial->click();
        ASSERT_TRUE(h.idle());
        ASSERT_EQ(h.prompts().inputs.size(), 1u);
        EXPECT_EQ(h.prompts().inputs[0],
                  (FakePrompts::Input{"Please Enter Phone Number to Dial", "Phone Number", ""}));
        EXPECT_TRUE(w.ButtonDial->toolTip().contains("5550100"));

        EXPECT_EQ(h.connect(), c.connected);
        EXPECT_EQ(h.trace().value(0), "41 54 44 54 35 35 35 30 31 30 30 0D");  // ATDT5550100 CR
        if (c.connected) {
            ASSERT_TRUE(h.waitFor([&] { return h.board().state().sessionOpen; }));
            EXPECT_EQ(w.SystemMessage->text(), "CONNECTED");
        } else {
            EXPECT_EQ(w.SystemMessage->text(), "ERROR CONNECTING");
            EXPECT_EQ(w.Connect->text(), "Connect");
            EXPECT_FALSE(h.serial().isOpen());
            EXPECT_EQ(w.ResponseWindow->text(), QString::fromLatin1(c.shown) + "\r\n");
        }
    }
}

}  // namespace
}  // namespace tarvo::test
