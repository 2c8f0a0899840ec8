#include "shell/connection.h"

#include "link/board_link.h"
#include "link/modem_dial.h"
#include "shell/main_window.h"
#include "terminal_config/terminal_parameters.h"

namespace tarvo {

namespace {
const QString kConnect = QStringLiteral("Connect");
const QString kDisconnect = QStringLiteral("Disconnect");
}  // namespace

Connection::Connection(RetreiveAccountingApp& w) : w_(w) {}

void Connection::Connect_Click() {
    if (w_.Connect->text() == kConnect) {
        connectBoard();
    } else {
        disconnectBoard();
    }
}

void Connection::connectBoard() {
    w_.ResponseWindow->clearText();
    w_.Connect->setEnabled(false);
    const bool opened = w_.link().OpenTarvoBoard() == 1;
    if (w_.closing()) {
        return;
    }
    // An interface that did not open, or a board that answers neither probe, is no connection:
    // say so and leave the window as it was instead of unlocking commands that cannot work.
    const bool answered = opened && (!w_.Option2->isChecked() || probe());
    if (w_.closing()) {
        return;
    }
    if (!answered) {
        if (opened) {
            w_.link().CloseTarvoBoard();
        }
        w_.Connected = 0;
        w_.Connect->setEnabled(true);
        w_.SystemMessage->setText(QStringLiteral("ERROR CONNECTING"));
        if (!opened && !w_.modemDial().failure().isEmpty()) {
            // The modem's own words stay in the response box; the result follows them.
            w_.ResponseWindow->appendText(
                QStringLiteral("\r\nNo connection through the modem: %1\r\n")
                    .arg(w_.modemDial().failure()));
        } else if (!opened && !w_.usbChosen()) {
            const QString why = w_.platform().serial->lastError();
            w_.ResponseWindow->setText(
                QStringLiteral("Could not open %1 (%2): %3")
                    .arg(w_.COMInterface->currentText(),
                         w_.platform().serial->devicePath(w_.COMInterface->currentIndex() + 1),
                         why));
        } else if (!opened) {
            w_.ResponseWindow->setText(QStringLiteral("No Tarvo Board found on USB"));
        }
        return;
    }
    w_.Connect->setText(kDisconnect);
    w_.SystemMessage->setText(QStringLiteral("CONNECTED"));
    for (QWidget* choice : {static_cast<QWidget*>(w_.Option1), static_cast<QWidget*>(w_.Option2),
                            static_cast<QWidget*>(w_.Option3), static_cast<QWidget*>(w_.Option4),
                            static_cast<QWidget*>(w_.COMInterface)}) {
        choice->setEnabled(false);
    }
    w_.Connect->setEnabled(true);
    for (QWidget* command :
         {w_.cmdViewOnly, w_.ButtonViewLastCashout, w_.ButtonSendTimeAndDate, w_.ButtonTerminalMode,
          w_.ClearMemory, w_.ButtonSendLocationInfo, w_.ButtonSendLawInfo, w_.CmdAutoCalibrate}) {
        command->setEnabled(true);
    }
    const bool usb = w_.COMInterface->currentIndex() == RetreiveAccountingApp::kUsbPosition;
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        if (usb) {
            for (QWidget* editor : {static_cast<QWidget*>(w_.cmdWriteToTarvo[n]),
                                    static_cast<QWidget*>(w_.cmbPulseValue[n]),
                                    static_cast<QWidget*>(w_.cmbPulseMultiplier[n]),
                                    static_cast<QWidget*>(w_.cmbValueIn[n])}) {
                editor->setVisible(true);
            }
        }
        for (QWidget* b :
             {w_.PutCoinIn[n], w_.ForceCashout[n], w_.SendCoinMultiA[n], w_.SendCoinMultiB[n]}) {
            b->setEnabled(true);
        }
    }
}

bool Connection::probe() {
    BoardLink& link = w_.link();
    w_.ResponseWindow->clearText();
    w_.ExpectReply = true;
    link.SendToTarvoBoard(frames::enquiry().joined());
    if (!w_.waitTicks(2)) {
        return false;
    }
    if (w_.ResponseWindow->length() > 0) {
        return true;
    }
    w_.ExpectReply = true;
    link.SendToTarvoBoard(frames::probeWake().joined());
    link.SendToTarvoBoard(frames::enquiry().joined());
    if (!w_.waitTicks(2)) {
        return false;
    }
    return w_.ResponseWindow->length() > 0;
}

void Connection::disconnectBoard() {
    w_.Connect->setEnabled(false);
    w_.link().CloseTarvoBoard();
    w_.Connect->setText(kConnect);
    for (QWidget* choice :
         {static_cast<QWidget*>(w_.Option1), static_cast<QWidget*>(w_.Option2),
          static_cast<QWidget*>(w_.Option3), static_cast<QWidget*>(w_.Option4),
          static_cast<QWidget*>(w_.Connect), static_cast<QWidget*>(w_.COMInterface)}) {
        choice->setEnabled(true);
    }
    for (QWidget* command :
         {w_.ButtonViewLastCashout, w_.ButtonSendTimeAndDate, w_.ButtonTerminalMode, w_.ClearMemory,
          w_.ButtonSendLocationInfo, w_.ButtonSendLawInfo, w_.CmdAutoCalibrate}) {
        command->setEnabled(false);
    }
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        for (QWidget* b :
             {w_.PutCoinIn[n], w_.ForceCashout[n], w_.SendCoinMultiA[n], w_.SendCoinMultiB[n]}) {
            b->setEnabled(false);
        }
    }
    w_.ClearData();
    // After clearing the displays, so the message stays in view.
    w_.SystemMessage->setText(QStringLiteral("Disconneted"));
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        w_.terminalParameters().ChangeParameters(n);
    }
    w_.cmdViewOnly->setEnabled(false);
    w_.ResponseWindow->clearText();
}

}  // namespace tarvo
