#include "shell/connection.h"

#include <QTimer>

#include "session/board_operations.h"
#include "shell/main_window.h"
#include "terminal_config/terminal_parameters.h"

namespace tarvo {

namespace {
const QString kConnect = QStringLiteral("Connect");
const QString kDisconnect = QStringLiteral("Disconnect");
const QString kCancel = QStringLiteral("Cancel");
}  // namespace

Connection::Connection(RetreiveAccountingApp& w) : w_(w) {}

void Connection::Connect_Click() {
    BoardSession& s = w_.session();
    switch (s.linkState()) {
        case BoardSession::LinkState::Disconnected:
            if (auto op = w_.beginOperation()) {
                connectHeld(std::move(op));
            }
            return;
        case BoardSession::LinkState::Dialling:
        case BoardSession::LinkState::Connecting:
            // "Cancel": the dial's wait ends at once and the port is closed.
            s.requestStop();
            return;
        case BoardSession::LinkState::Connected:
            break;
    }
    if (s.busy()) {
        // The running operation finishes the command on the wire and returns; the line is
        // closed after it, so the close never lands inside one of its commands.
        disconnectPending_ = true;
        disconnectWhenIdle();
        showState();
        // The operation may end inside this call.
        s.requestStop();
        return;
    }
    if (auto op = w_.beginOperation()) {
        disconnectHeld(std::move(op));
    }
}

void Connection::disconnectWhenIdle() {
    BoardSession& s = w_.session();
    auto* watch = new QObject(&s);
    QObject::connect(&s, &BoardSession::busyChanged, watch, [this, watch](bool busy) {
        if (busy) {
            return;
        }
        watch->deleteLater();
        if (!disconnectPending_) {
            return;
        }
        disconnectPending_ = false;
        // Held while the close goes out; a session that shut down sends nothing more.
        if (w_.session().Connected == 1) {
            if (auto op = w_.session().begin()) {
                disconnectHeld(std::move(op));
            }
        }
        showState();
    });
}

void Connection::closeForGood() {
    BoardSession& s = w_.session();
    if (s.busy()) {
        if (!disconnectPending_ && s.Connected == 1) {
            disconnectPending_ = true;
            disconnectWhenIdle();
        }
        s.requestStop();
    } else if (s.Connected == 1) {
        if (auto op = s.begin()) {
            disconnectHeld(std::move(op));
        }
    }
}

QCoro::Task<> Connection::connectHeld([[maybe_unused]] BoardSession::Operation op) {
    co_await connectBoard();
}

QCoro::Task<> Connection::disconnectHeld([[maybe_unused]] BoardSession::Operation op) {
    co_await disconnectBoard();
}

QCoro::Task<> Connection::connectBoard() {
    BoardSession& s = w_.session();
    const board::ConnectResult result = co_await board::connect(s);
    if (s.shuttingDown()) {
        co_return;
    }
    if (!result.connected) {
        w_.SystemMessage->setText(QStringLiteral("ERROR CONNECTING"));
        if (result.modemFailed) {
            // The modem's own words stay in the response box; the result follows them.
            w_.ResponseWindow->appendText(
                QStringLiteral("\r\nNo connection through the modem: %1\r\n").arg(result.failure));
        } else if (!result.failure.isEmpty()) {
            w_.ResponseWindow->setText(result.failure);
        }
        co_return;
    }
    w_.SystemMessage->setText(QStringLiteral("CONNECTED"));
    const bool usb = s.options().usb();
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        if (usb) {
            for (QWidget* editor : {static_cast<QWidget*>(w_.cmdWriteToTarvo[n]),
                                    static_cast<QWidget*>(w_.cmbPulseValue[n]),
                                    static_cast<QWidget*>(w_.cmbPulseMultiplier[n]),
                                    static_cast<QWidget*>(w_.cmbValueIn[n])}) {
                editor->setVisible(true);
            }
        }
    }
}

QCoro::Task<> Connection::disconnectBoard() {
    co_await board::disconnect(w_.session());
    if (w_.session().shuttingDown()) {
        co_return;
    }
    showDisconnected();
    // After clearing the displays, so the message stays in view.
    w_.SystemMessage->setText(QStringLiteral("Disconneted"));
    w_.session().clearText();
}

void Connection::lineLost() {
    // Whatever the running operation does next, it finds the board gone; the window shows
    // the loss and nothing that needs a board.
    disconnectPending_ = false;
    showDisconnected();
}

void Connection::showState() {
    const BoardSession& s = w_.session();
    QString caption = kConnect;
    bool enabled = !s.busy();
    switch (s.linkState()) {
        case BoardSession::LinkState::Disconnected:
            break;
        case BoardSession::LinkState::Dialling:
            caption = kCancel;
            enabled = true;
            break;
        case BoardSession::LinkState::Connecting:
            enabled = false;
            break;
        case BoardSession::LinkState::Connected:
            caption = kDisconnect;
            // Disconnect stays while an operation runs; once asked, it waits for the end.
            enabled = !disconnectPending_;
            break;
    }
    if (w_.Connect->text() != caption) {
        w_.Connect->setText(caption);
    }
    w_.Connect->setEnabled(enabled && !s.shuttingDown());
}

void Connection::showDisconnected() {
    w_.ClearData();
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        w_.terminalParameters().ChangeParameters(n);
    }
}

}  // namespace tarvo
