#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTest>

#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using App = RetreiveAccountingApp;

void press(App& w, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w.ResponseWindow, &event);
    // A key's frame may wait for a transfer or an address pause.
    EXPECT_TRUE(QTest::qWaitFor([&w] { return !w.session().busy(); }, 20000));
}

// Enter, type "A", a composed "é", Backspace, Enter, an arrow and Ctrl+C, leave; over USB each
// frame is one transfer. Behind a Brisko system every frame has its own target prefix.
TEST(TerminalMode, EntersForwardsTypedKeysAndLeaves) {
    for (bool brisko : {false, true}) {
        SCOPED_TRACE(brisko ? "brisko" : "plain");
        WindowFixture f;
        App& w = f.w();
        (brisko ? w.Option1 : w.Option2)->click();
        ASSERT_TRUE(f.idle());
        f.chooseInterface(App::kUsbPosition);
        ASSERT_TRUE(f.connect());
        press(w, Qt::Key_A, "A");  // not in terminal mode yet: nothing goes out
        // The command before left no reply expected; the board's echo must show all the same.
        w.session().ExpectReply = false;
        FakeUsbLibrary* usb = f.usb.get();
        usb->onWrite = [usb](const QByteArray& data) {
            if (data == "A") {
                usb->pushReply("echo");
            }
        };
        w.ButtonTerminalMode->click();
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(w.ButtonTerminalMode->text(), "Exit Terminal Mode");
        EXPECT_TRUE(w.TerminalView);
        press(w, Qt::Key_A, "A");
        // Only the board's side shows: the typed letter is not put in the box a second time.
        EXPECT_EQ(w.ResponseWindow->text(), "echo");
        QInputMethodEvent composed;
        composed.setCommitString("\u00e9");  // a dead key and "e"
        QApplication::sendEvent(w.ResponseWindow, &composed);
        ASSERT_TRUE(f.idle());
        press(w, Qt::Key_Backspace, "\b");
        press(w, Qt::Key_Return, "\r");
        press(w, Qt::Key_Left, "");
        press(w, Qt::Key_C, "\x03", Qt::ControlModifier);
        w.ButtonTerminalMode->click();
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(w.ButtonTerminalMode->text(), "Enter Terminal Mode");
        EXPECT_FALSE(w.TerminalModeOn || w.TerminalView);
        std::vector<QByteArray> expected;
        for (const char* frame : {"1b4f53", "41", "e9", "08", "0d", "03", "1b1b1b20202020"}) {
            const QByteArray bytes = QByteArray::fromHex(frame);
            if (brisko) {
                expected.push_back(QByteArray::fromHex("1d5450") + char(bytes.size()));
            }
            expected.push_back(bytes);
        }
        EXPECT_EQ(f.usbFrames(), expected);
        EXPECT_EQ(w.SystemMessage->text(), "CONNECTED");
    }
}

// Address 0 refuses the button: the mode stays off and nothing goes out, typed keys neither.
TEST(TerminalMode, AddressZeroRefusesTheButton) {
    WindowFixture f;
    App& w = f.w();
    w.Option4->click();
    w.MultiDropAddress->setCurrentIndex(0);
    ASSERT_TRUE(f.connect());
    w.ButtonTerminalMode->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(f.prompts->messageTexts(),
              QStringList{"Cannot enter terminal mode with multi drop address of 0"});
    EXPECT_EQ(w.ButtonTerminalMode->text(), "Enter Terminal Mode");
    press(w, Qt::Key_X, "x");
    EXPECT_TRUE(f.serial->sentBytes().isEmpty());
}

}  // namespace
}  // namespace tarvo::test
