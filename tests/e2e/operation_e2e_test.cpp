#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTest>

#include "core/frames.h"
#include "pulse_editor/frm_set_pulses.h"
#include "support/board_harness.h"
#include "support/session_fixture.h"

// An operation as the technician meets it: the link it was started on, controls that cannot
// change that link meanwhile, a dial that can be called off, terminal mode bound to the
// connection, pasted keys, the pulse window's READ from a board that stays silent, and a
// board unplugged.
namespace tarvo::test {
namespace {

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
    sim::BoardConfig config;
    config.multiDropAddress = 1;
    BoardHarness h(config, multiDropAt(1));
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
    sim::BoardConfig config;
    config.modem = sim::ModemResult::Silent;
    BoardHarness h(config, {}, 1000);
    auto& w = h.w();
    h.prompts().inputAnswers.push_back("555-0100");
    w.ButtonDial->click();
    w.Connect->click();
    ASSERT_TRUE(h.waitFor([&] { return w.Connect->text() == "Cancel"; }));
    EXPECT_TRUE(w.Connect->isEnabled());
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
    sim::BoardConfig config;
    config.multiDropAddress = 1;
    BoardHarness h(config, multiDropAt(1));
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
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

// READ from a board that never answers says so and keeps what the boxes held.
TEST(PulseWindow, ReadFromASilentBoardSaysSoAndKeepsTheValues) {
    sim::BoardConfig config;
    config.multiDropAddress = 5;
    BoardHarness h(config, multiDropAt(6));
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
    // Commands are refused, not written into a dead port.
    done(h.w().session().SendToTarvoBoard(frames::enquiry().joined()));
    EXPECT_EQ(h.w().SystemMessage->text(), QStringLiteral("PLEASE CONNECT FIRST"));
}

}  // namespace
}  // namespace tarvo::test
