#include <gtest/gtest.h>

#include "link/board_link.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

const QByteArray kOpenSession("\x1D\x45\x01", 3);
const QByteArray kCloseSession("\x1D\x45\x00", 3);

bool choicesEnabled(RetreiveAccountingApp& w) {
    return w.Option1->isEnabled() && w.Option2->isEnabled() && w.Option3->isEnabled() &&
           w.Option4->isEnabled() && w.COMInterface->isEnabled();
}

bool commandsEnabled(RetreiveAccountingApp& w) {
    bool all = w.cmdViewOnly->isEnabled() && w.ButtonViewLastCashout->isEnabled() &&
               w.ButtonSendTimeAndDate->isEnabled() && w.ButtonTerminalMode->isEnabled() &&
               w.ClearMemory->isEnabled() && w.ButtonSendLocationInfo->isEnabled() &&
               w.ButtonSendLawInfo->isEnabled() && w.CmdAutoCalibrate->isEnabled();
    for (int n = 0; n < 6; ++n) {
        all = all && w.PutCoinIn[n]->isEnabled() && w.ForceCashout[n]->isEnabled() &&
              w.SendCoinMultiA[n]->isEnabled() && w.SendCoinMultiB[n]->isEnabled();
    }
    return all;
}

bool anyCommandEnabled(RetreiveAccountingApp& w) {
    bool any = w.cmdViewOnly->isEnabled() || w.ClearMemory->isEnabled() ||
               w.ButtonTerminalMode->isEnabled();
    for (int n = 0; n < 6; ++n) {
        any = any || w.PutCoinIn[n]->isEnabled() || w.SendCoinMultiB[n]->isEnabled();
    }
    return any;
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
        EXPECT_EQ(line->sentBytes().toHex(' '), c.sent.toHex(' '));
        EXPECT_EQ(w.Connected, c.connected ? 1 : 0);
        EXPECT_EQ(w.Connect->text(),
                  c.connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
        EXPECT_EQ(w.SystemMessage->text(),
                  c.connected ? QStringLiteral("CONNECTED") : QStringLiteral("ERROR CONNECTING"));
        EXPECT_TRUE(w.Connect->isEnabled());
        EXPECT_EQ(choicesEnabled(w), !c.connected);
        EXPECT_EQ(commandsEnabled(w), c.connected);
        EXPECT_EQ(anyCommandEnabled(w), c.connected);
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
    EXPECT_EQ(f.serial->portNumber(), 32);
    EXPECT_TRUE(f.serial->sentBytes().isEmpty());
    EXPECT_EQ(w.Connected, 0);
    EXPECT_EQ(w.SystemMessage->text(), QStringLiteral("ERROR CONNECTING"));
    EXPECT_TRUE(w.ResponseWindow->text().contains(QStringLiteral("No such device")));
    EXPECT_EQ(w.Connect->text(), QStringLiteral("Connect"));
    EXPECT_TRUE(choicesEnabled(w));
    EXPECT_FALSE(anyCommandEnabled(w));
    // Commands stay refused.
    w.link().SendToTarvoBoard(QByteArray("\x05"));
    EXPECT_EQ(w.SystemMessage->text(), QStringLiteral("PLEASE CONNECT FIRST"));
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
    EXPECT_EQ(f.serial->sentBytes(), kCloseSession);
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(w.Connected, 0);
    EXPECT_EQ(w.Connect->text(), QStringLiteral("Connect"));
    EXPECT_EQ(w.SystemMessage->text(), QStringLiteral("Disconneted"));
    EXPECT_TRUE(choicesEnabled(w));
    EXPECT_FALSE(anyCommandEnabled(w));
    EXPECT_TRUE(w.ResponseWindow->text().isEmpty());
    EXPECT_TRUE(w.Received[2]->text().isEmpty());
}

}  // namespace
}  // namespace tarvo::test
