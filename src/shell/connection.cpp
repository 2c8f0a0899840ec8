#include "shell/connection.h"

#include "session/board_operations.h"
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
        auto op = w_.beginOperation();
        if (!op) {
            return;
        }
        connectBoard();
        return;
    }
    if (w_.session().busy()) {
        // Ends the running operation's waits; the line is closed once it has returned, so
        // the close never lands inside one of its frames.
        disconnectPending_ = true;
        w_.Connect->setEnabled(false);
        w_.session().requestStop();
        return;
    }
    auto op = w_.beginOperation();
    if (op) {
        disconnectBoard();
    }
}

void Connection::operationEnded() {
    if (!disconnectPending_) {
        return;
    }
    disconnectPending_ = false;
    if (w_.session().Connected == 1) {
        // Held while the close goes out; a closing window gets none and closes all the same.
        auto op = w_.session().begin();
        disconnectBoard();
        return;
    }
    w_.Connect->setEnabled(true);
}

void Connection::closeForGood() {
    if (w_.session().busy()) {
        disconnectPending_ = true;
        w_.session().requestStop();
    } else {
        auto op = w_.session().begin();
        disconnectBoard();
    }
}

void Connection::connectBoard() {
    BoardSession& s = w_.session();
    w_.Connect->setEnabled(false);
    const board::ConnectResult result = board::connect(s);
    if (s.shuttingDown()) {
        return;
    }
    if (!result.connected) {
        w_.Connect->setEnabled(true);
        w_.SystemMessage->setText(QStringLiteral("ERROR CONNECTING"));
        if (result.modemFailed) {
            // The modem's own words stay in the response box; the result follows them.
            w_.ResponseWindow->appendText(
                QStringLiteral("\r\nNo connection through the modem: %1\r\n").arg(result.failure));
        } else if (!result.failure.isEmpty()) {
            w_.ResponseWindow->setText(result.failure);
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
        w_.setCommandEnabled(command, true);
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
            w_.setCommandEnabled(b, true);
        }
    }
}

void Connection::disconnectBoard() {
    w_.Connect->setEnabled(false);
    board::disconnect(w_.session());
    showDisconnected();
    // After clearing the displays, so the message stays in view.
    w_.SystemMessage->setText(QStringLiteral("Disconneted"));
    w_.session().clearText();
}

void Connection::lineLost() {
    // Whatever the running operation does next, it finds the board gone; the window shows
    // the loss and nothing that needs a board.
    disconnectPending_ = false;
    if (w_.Connect->text() == kDisconnect) {
        showDisconnected();
    }
}

void Connection::showDisconnected() {
    w_.Connect->setText(kConnect);
    for (QWidget* choice :
         {static_cast<QWidget*>(w_.Option1), static_cast<QWidget*>(w_.Option2),
          static_cast<QWidget*>(w_.Option3), static_cast<QWidget*>(w_.Option4),
          static_cast<QWidget*>(w_.Connect), static_cast<QWidget*>(w_.COMInterface)}) {
        choice->setEnabled(true);
    }
    for (QWidget* command :
         {w_.cmdViewOnly, w_.ButtonViewLastCashout, w_.ButtonSendTimeAndDate, w_.ButtonTerminalMode,
          w_.ClearMemory, w_.ButtonSendLocationInfo, w_.ButtonSendLawInfo, w_.CmdAutoCalibrate}) {
        w_.setCommandEnabled(command, false);
    }
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        for (QWidget* b :
             {w_.PutCoinIn[n], w_.ForceCashout[n], w_.SendCoinMultiA[n], w_.SendCoinMultiB[n]}) {
            w_.setCommandEnabled(b, false);
        }
    }
    w_.ClearData();
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        w_.terminalParameters().ChangeParameters(n);
    }
}

}  // namespace tarvo
