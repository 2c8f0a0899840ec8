#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include "pulse_editor/frm_set_pulses.h"
#include "support/board_harness.h"

// The windows against the simulated board over a real pseudo-terminal. An operation as the
// technician meets it: the link it was started on, controls that cannot change that link
// meanwhile, a dial that can be called off, terminal mode bound to the connection, pasted
// keys, the pulse window's READ from a board that stays silent, and a board unplugged. The
// board commands: a parameter write, auto calibration, modem dialling, and behind a Brisko
// system, which checks every target prefix, the texts, the clock and terminal mode. View Info
// is compared box by box with the board in the audit's end-to-end test.
namespace tarvo::test {
namespace {

// A board is configured by the fields a test names; the rest keep their defaults.

auto multiDropAt(int address) {
    return [address](SettingsStore& s) {
        s.setValue("Options", "Cashless", "True");
        s.setValue("Options", "MultiDropAddress", QString::number(address));
    };
}

std::vector<QWidget*> linkControls(RetreiveAccountingApp& w) {
    return {w.COMInterface, w.MultiDropAddress, w.Option1, w.Option4, w.ButtonDial};
}

bool anyEnabled(const std::vector<QWidget*>& controls) {
    return std::any_of(controls.begin(), controls.end(), [](QWidget* c) { return c->isEnabled(); });
}

// The address chosen when View Info began addresses all of its frames; while connected the
// link controls are locked, and they come back with the disconnect.
TEST(LinkControls, AreLockedWhileConnectedAndTheOperationKeepsItsAddress) {
    BoardHarness h({.multiDropAddress = 1}, multiDropAt(1));
    auto& w = h.w();
    ASSERT_TRUE(h.connect());
    EXPECT_FALSE(anyEnabled(linkControls(w)));
    w.cmdViewOnly->click();
    // No file dialog opens beside a frame on its way.
    EXPECT_FALSE(w.LoadLocationInfo[0]->isEnabled());
    // Even a change that reaches the box some other way addresses nothing of this read.
    w.MultiDropAddress->setCurrentIndex(2);
    ASSERT_TRUE(h.idle());
    EXPECT_EQ(w.TarvoBoardSerialNumber->text(), QString::fromLatin1(h.board().state().serial));
    EXPECT_TRUE(w.LoadLocationInfo[0]->isEnabled());
    w.Connect->click();
    ASSERT_TRUE(h.idle());
    EXPECT_EQ(w.Connect->text(), "Connect");
    for (QWidget* c : linkControls(w)) {
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    }
    EXPECT_TRUE(h.board().protocolErrors().isEmpty());
}

// While the modem is asked for its word, Connect reads "Cancel" and the link is locked; Cancel
// ends the dial, closes the port and gives the controls back.
TEST(Modem, ADialCanBeCalledOff) {
    BoardHarness h({.modem = sim::ModemResult::Silent}, {}, 1000);
    auto& w = h.w();
    h.prompts().inputAnswers.push_back("555-0100");
    w.ButtonDial->click();
    w.Connect->click();
    ASSERT_TRUE(h.waitFor([&] { return w.Connect->text() == "Cancel"; }));
    EXPECT_FALSE(anyEnabled(linkControls(w)));
    w.Connect->click();
    ASSERT_TRUE(h.idle());
    EXPECT_EQ(w.Connect->text(), "Connect");
    EXPECT_FALSE(h.serial().isOpen());
    EXPECT_EQ(w.SystemMessage->text(), "ERROR CONNECTING");
    EXPECT_TRUE(w.COMInterface->isEnabled());
}

void type(RetreiveAccountingApp& w, int key, Qt::KeyboardModifiers mods, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w.ResponseWindow, &press);
}

// Terminal mode ends with the connection: after Disconnect and Connect the button offers to
// enter it again and a typed key goes nowhere until it does. Pasted text goes as keys, in
// order, and the box shows only what the board sent back.
TEST(TerminalMode, EndsWithTheConnectionAndTakesPastedTextAsKeys) {
    BoardHarness h;
    auto& w = h.w();
    w.Option3->setChecked(true);
    ASSERT_TRUE(h.connect());
    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    EXPECT_EQ(w.ButtonTerminalMode->text(), "Exit Terminal Mode");
    w.Connect->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(h.connect());
    EXPECT_EQ(w.ButtonTerminalMode->text(), "Enter Terminal Mode");
    EXPECT_FALSE(w.TerminalModeOn);
    h.settle();
    const int frames = h.trace().size();
    type(w, Qt::Key_X, Qt::NoModifier, "x");
    h.settle();
    EXPECT_EQ(h.trace().size(), frames);

    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    QGuiApplication::clipboard()->setText("ab\ncd");
    type(w, Qt::Key_Insert, Qt::ShiftModifier, QString());
    type(w, Qt::Key_V, Qt::ControlModifier, QString());
    ASSERT_TRUE(h.idle());
    h.settle();
    // Enter terminal mode, then each pasted key once, in order.
    EXPECT_TRUE(h.trace().mid(frames).join(' ').endsWith("1B 4F 53 61 62 0D 63 64 61 62 0D 63 64"))
        << h.trace().mid(frames).join(' ').toStdString();
    EXPECT_EQ(w.ResponseWindow->text(), w.session().text());
    EXPECT_FALSE(w.ResponseWindow->toPlainText().contains("ab\ncd"));
}

// Closing the window while a multi-drop law text goes out: the window is gone from the screen
// at once, the text and then the close reach the board whole, and the port is released.
TEST(Closing, DuringAnOperationFinishesTheCommandAndReleasesThePort) {
    BoardHarness h({.multiDropAddress = 1}, multiDropAt(1));
    auto& w = h.w();
    ASSERT_TRUE(h.connect());
    for (int i = 0; i < 8; ++i) {
        w.TxtLawInfo[i]->setText(QStringLiteral("law %1").arg(i));
    }
    w.ButtonSendLawInfo->click();
    ASSERT_TRUE(w.session().busy());
    w.close();
    EXPECT_FALSE(w.isVisible());
    ASSERT_TRUE(h.waitFor([&] { return !h.serial().isOpen(); }));
    h.settle();
    EXPECT_EQ(h.trace().value(h.trace().size() - 1), "01 | 03 | 1D 45 00");
    EXPECT_TRUE(h.trace().join('\n').contains("6C 61 77 20 37 0D"));  // "law 7" CR, the last line
    EXPECT_EQ(h.board().protocolErrors().join('\n'), "");
}

// READ from a board that never answers says so and keeps what the boxes held.
TEST(PulseWindow, ReadFromASilentBoardSaysSoAndKeepsTheValues) {
    BoardHarness h({.multiDropAddress = 5}, multiDropAt(6));
    ASSERT_TRUE(h.connect());
    h.w().Command3->click();
    FrmSetPulses& p = *h.w().pulseWindow();
    p.TxtPulse1On[0]->setText("123");
    p.CmdRead->click();
    ASSERT_TRUE(h.idle());
    ASSERT_EQ(h.prompts().messageTexts(), QStringList{"no answer from the board"});
    EXPECT_EQ(p.TxtPulse1On[0]->text(), "123");
    EXPECT_TRUE(p.CmdRead->isEnabled() && p.CmdWrite->isEnabled());
    // Frames for another address are no fault to the board that ignores them.
    EXPECT_TRUE(h.board().protocolErrors().isEmpty());
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
}

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
        BoardHarness h({.pulseIntervalMs = 1});
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
        EXPECT_EQ(h.board().protocolErrors().join('\n'), "");
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
        // The modem answers between the 3 ticks of settling and the 60 of giving up.
        BoardHarness h({.modem = c.modem, .modemDelayMs = 150}, {}, 20);
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
    EXPECT_EQ(h.board().protocolErrors().join('\n'), "");
}

TEST(EndToEndLocationLawClock, TheBoardStoresWhatItWasSentAndAnswersTypedKeys) {
    BoardHarness h({.requirePrefix = true});
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
    EXPECT_EQ(board.law,
              (std::array<QByteArray, 8>{"", "Law 2", "Law 3", "", "Law 5", "Law 6", "", "Law 8"}));

    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(h.waitFor([&] { return w.ResponseWindow->text().endsWith("> "); }));
    type(w, Qt::Key_H, Qt::NoModifier, "h");
    type(w, Qt::Key_I, Qt::NoModifier, "i");
    type(w, Qt::Key_Return, Qt::NoModifier, "\r");
    // The board echoes each key and answers Enter with a new prompt.
    EXPECT_TRUE(h.waitFor([&] { return w.ResponseWindow->text().count("> ") == 2; }));
    EXPECT_EQ(h.board().trace().mid(h.board().trace().size() - 6).join(' '),
              "1D 54 50 01 68 1D 54 50 01 69 1D 54 50 01 0D");
    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    EXPECT_TRUE(
        h.waitFor([&] { return w.ResponseWindow->text().contains("LEAVING TERMINAL MODE"); }));
    EXPECT_FALSE(board.terminalMode);
    EXPECT_EQ(h.board().protocolErrors().join('\n'), "");
}

}  // namespace
}  // namespace tarvo::test
