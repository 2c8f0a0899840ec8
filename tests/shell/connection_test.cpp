#include <gtest/gtest.h>

#include "session/board_session.h"
#include "support/window_fixture.h"

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

}  // namespace
}  // namespace tarvo::test
