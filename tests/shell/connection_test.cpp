#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <utility>

#include "session/board_session.h"
#include "support/window_fixture.h"

// Connecting, dialling, disconnecting and terminal mode, as the window does them.
namespace tarvo::test {
namespace {

const QByteArray kOpenSession("\x1D\x45\x01", 3);
const QByteArray kCloseSession("\x1D\x45\x00", 3);

// "on", "off" or "mixed" for the given controls.
QString enabled(std::initializer_list<QWidget*> controls) {
    const qsizetype on =
        std::count_if(controls.begin(), controls.end(), [](QWidget* c) { return c->isEnabled(); });
    return on == 0 ? "off" : on == qsizetype(controls.size()) ? "on" : "mixed";
}

QString choices(RetreiveAccountingApp& w) {
    return enabled({w.Option1, w.Option2, w.Option3, w.Option4, w.COMInterface});
}

QString commands(RetreiveAccountingApp& w) {
    QString state = enabled({w.cmdViewOnly, w.ButtonViewLastCashout, w.ButtonSendTimeAndDate,
                             w.ButtonTerminalMode, w.ClearMemory, w.ButtonSendLocationInfo,
                             w.ButtonSendLawInfo, w.CmdAutoCalibrate});
    for (int n = 0; n < 6; ++n) {
        const QString row =
            enabled({w.PutCoinIn[n], w.ForceCashout[n], w.SendCoinMultiA[n], w.SendCoinMultiB[n]});
        state = row == state ? state : "mixed";
    }
    return state;
}

// How the board answers the probe bytes of a Tarvo Board System.
enum class Board { AnswersFirstEnquiry, AnswersAfterWake, Silent };

TEST(Connect, ProbeOfATarvoBoardSystem) {
    struct Case {
        const char* name;
        bool system;
        Board board;
        QByteArray sent;
        bool connected;
    } cases[] = {
        {"no probe without the system target", false, Board::Silent, kOpenSession, true},
        {"one probe byte when the board answers", true, Board::AnswersFirstEnquiry,
         kOpenSession + "\x05", true},
        {"three probe bytes when it answers after the wake byte", true, Board::AnswersAfterWake,
         kOpenSession + "\x05\x8A\x05", true},
        {"a silent board is no connection", true, Board::Silent,
         kOpenSession + "\x05\x8A\x05" + kCloseSession, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowFixture f;
        auto& w = f.w();
        (c.system ? w.Option2 : w.Option1)->setChecked(true);
        bool woken = false;
        FakeSerialLine* line = f.serial.get();
        line->onWrite = [&, line](const QByteArray& bytes) {
            if (bytes == QByteArray("\x8A")) {
                woken = true;
            } else if (bytes == QByteArray("\x05") &&
                       (c.board == Board::AnswersFirstEnquiry ||
                        (c.board == Board::AnswersAfterWake && woken))) {
                line->receiveLater("READY\r\n");
            }
        };
        w.Connect->click();
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(line->sentBytes().toHex(' '), c.sent.toHex(' '));
        EXPECT_EQ(w.session().Connected, c.connected ? 1 : 0);
        EXPECT_EQ(w.Connect->text(),
                  c.connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
        EXPECT_EQ(w.SystemMessage->text(),
                  c.connected ? QStringLiteral("CONNECTED") : QStringLiteral("ERROR CONNECTING"));
        EXPECT_TRUE(w.Connect->isEnabled());
        EXPECT_EQ(choices(w), c.connected ? "off" : "on");
        EXPECT_EQ(commands(w), c.connected ? "on" : "off");
        EXPECT_EQ(line->isOpen(), c.connected);
    }
}

TEST(Connect, APortThatWillNotOpenLeavesTheWindowDisconnected) {
    WindowFixture f;
    auto& w = f.w();
    f.serial->failOpen = true;
    f.serial->failMessage = QStringLiteral("No such device");
    w.COMInterface->setCurrentIndex(31);
    w.Connect->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(f.serial->portNumber(), 32);
    EXPECT_TRUE(f.serial->sentBytes().isEmpty());
    EXPECT_EQ(w.session().Connected, 0);
    EXPECT_TRUE(w.ResponseWindow->text().contains(QStringLiteral("No such device")));
    EXPECT_EQ(choices(w), "on");
    EXPECT_EQ(commands(w), "off");
}

TEST(Connect, UsbShowsTheParameterEditorsAndSerialLeavesThemHidden) {
    for (int position : {0, RetreiveAccountingApp::kUsbPosition}) {
        WindowFixture f;
        f.chooseInterface(position);
        ASSERT_TRUE(f.connect());
        const bool usb = position == RetreiveAccountingApp::kUsbPosition;
        for (int n = 0; n < 6; ++n) {
            EXPECT_EQ(f.w().cmdWriteToTarvo[n]->isVisible(), usb) << n;
            EXPECT_EQ(f.w().cmbPulseValue[n]->isVisible(), usb) << n;
            EXPECT_EQ(f.w().cmbPulseMultiplier[n]->isVisible(), usb) << n;
            EXPECT_EQ(f.w().cmbValueIn[n]->isVisible(), usb) << n;
        }
        EXPECT_EQ(f.serial->openCount, usb ? 0 : 1);
    }
}

TEST(Disconnect, ReturnsEverythingToTheDisconnectedState) {
    WindowFixture f;
    auto& w = f.w();
    ASSERT_TRUE(f.connect());
    w.ResponseWindow->setText(QStringLiteral("board text"));
    w.Received[2]->setText(QStringLiteral("000001000"));
    w.Connect->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(f.serial->sentBytes(), kCloseSession);
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(w.session().Connected, 0);
    EXPECT_EQ(w.Connect->text(), QStringLiteral("Connect"));
    EXPECT_EQ(w.SystemMessage->text(), QStringLiteral("Disconneted"));
    EXPECT_EQ(choices(w), "on");
    EXPECT_EQ(commands(w), "off");
    EXPECT_TRUE(w.ResponseWindow->text().isEmpty());
    EXPECT_TRUE(w.Received[2]->text().isEmpty());
}

// A refused number keeps the last good one; Cancel goes back to a direct line, whose connect
// needs no modem (a dial on this silent fake line would end in "NO ANSWER").
TEST(ModemDial, TheNumberTypedDecidesWhatTheNextConnectDoes) {
    WindowFixture f;
    RetreiveAccountingApp& w = f.w();
    f.prompts->inputAnswers = {"(02) 555-0100", "555\r0100", ""};
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().PhoneNumber, "025550100");
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().PhoneNumber, "025550100");
    ASSERT_EQ(f.prompts->messages.size(), 1u);
    EXPECT_EQ(f.prompts->messages[0].title, "Phone Number");
    EXPECT_EQ(f.prompts->messages[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(w.ButtonDial->toolTip().contains("025550100"));
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().PhoneNumber, "");
    EXPECT_FALSE(w.ButtonDial->toolTip().contains("025550100"));
    EXPECT_TRUE(f.connect());
}

// The modem is no board: the dial string goes out raw, without the address and length bytes
// of a multi-drop line; the session command after "CONNECT 9600" is addressed as usual.
TEST(ModemDial, TheDialStringIsNotFramed) {
    WindowFixture f(
        [](MemorySettingsStore& s) {
            s.preset("Options", "Cashless", "True");
            s.preset("Options", "MultiDropAddress", "5");
            s.preset("Options", "RTAddressBitDelay", "1");
        },
        20);  // 3 ticks to settle, 60 to give up: the answer comes well between
    RetreiveAccountingApp& w = f.w();
    ASSERT_TRUE(w.Option4->isChecked());
    f.prompts->inputAnswers = {"42"};
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    FakeSerialLine* line = f.serial.get();
    // Modems take seconds: the answer comes once the program waits for it, after the
    // settling wait (which ends by emptying the response box).
    bool dialled = false;
    line->onWrite = [&dialled](const QByteArray& bytes) { dialled |= bytes.startsWith("ATDT"); };
    QObject::connect(&w.session(), &BoardSession::textCleared, line, [line, &dialled] {
        if (std::exchange(dialled, false)) {
            QTimer::singleShot(0, line, [line] { line->receive("\r\nCONNECT 9600\r\n"); });
        }
    });
    w.Connect->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().Connected, 1);
    EXPECT_EQ(line->sentBytes(), QByteArray("ATDT42\r\x05\x03\x1d\x45\x01", 12));
    EXPECT_EQ(w.ResponseWindow->text(), "\r\nCONNECT 9600\r\n");
}

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
