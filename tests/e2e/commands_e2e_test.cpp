#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "support/board_harness.h"

// The window's board commands against the simulated board over a pseudo-terminal: a parameter
// write, auto calibration, modem dialling, and behind a Brisko system, which checks every
// target prefix, the texts, the clock and terminal mode. View Info is compared box by box
// with the board in the audit's end-to-end test.
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

TEST(EndToEndLocationLawClock, TheBoardStoresWhatItWasSentAndAnswersTypedKeys) {
    sim::BoardConfig config;
    config.requirePrefix = true;
    BoardHarness h(config);
    auto& w = h.w();
    w.Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    const sim::BoardState& board = h.board().state();

    w.txtLocationInfo[0]->setText("  Caf\u00e9 Lucky  ");
    w.txtLocationInfo[2]->setText("Main street 5");
    w.ButtonSendLocationInfo->click();
    ASSERT_TRUE(h.idle());
    for (int i = 0; i < 8; ++i) {
        w.TxtLawInfo[i]->setText(i % 3 ? QStringLiteral("Law %1").arg(i + 1) : QString());
    }
    w.ButtonSendLawInfo->click();
    ASSERT_TRUE(h.idle());
    w.platform().clock = [] { return QDateTime({2026, 3, 7}, {9, 5}); };
    w.ButtonSendTimeAndDate->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(h.waitFor([&] { return board.clock == sim::BoardClock{9, 5, 3, 7, 26}; }));
    EXPECT_EQ(board.location,
              (std::array<QByteArray, 4>{"Caf\xE9 Lucky", "", "Main street 5", ""}));
    EXPECT_EQ(board.law[1], "Law 2");
    EXPECT_EQ(board.law[7], "Law 8");
    EXPECT_EQ(board.law[6], "");
    EXPECT_EQ(w.SystemMessage->text(), "Time and Date Sent");

    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(h.waitFor([&] { return w.ResponseWindow->text().endsWith("> "); }));
    for (const auto& [key, text] :
         {std::pair{Qt::Key_H, "h"}, {Qt::Key_I, "i"}, {Qt::Key_Return, "\r"}}) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(w.ResponseWindow, &event);
    }
    // The board echoes each key and answers Enter with a new prompt.
    EXPECT_TRUE(h.waitFor([&] { return w.ResponseWindow->text().count("> ") == 2; }));
    EXPECT_EQ(h.board().trace().mid(h.board().trace().size() - 6).join(' '),
              "1D 54 50 01 68 1D 54 50 01 69 1D 54 50 01 0D");
    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    EXPECT_TRUE(
        h.waitFor([&] { return w.ResponseWindow->text().contains("LEAVING TERMINAL MODE"); }));
    EXPECT_FALSE(board.terminalMode);
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

}  // namespace
}  // namespace tarvo::test
