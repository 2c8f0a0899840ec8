#pragma once

#include <QCoro/QCoroTask>

#include "session/board_session.h"

namespace tarvo {

class RetreiveAccountingApp;

// The Connect button: "Connect", "Cancel" while a modem dials, "Disconnect" while connected.
class Connection {
  public:
    explicit Connection(RetreiveAccountingApp& w);
    void Connect_Click();

    // The connect and disconnect of a handler that already holds the board (the parameter
    // write's reconnect).
    QCoro::Task<> connectBoard();
    QCoro::Task<> disconnectBoard();
    // The line went away: the window returns to the disconnected state without writing.
    void lineLost();
    // The window closes: disconnects now, or once the running operation has returned.
    void closeForGood();
    // The button's caption and state, from the session's state.
    void showState();

  private:
    QCoro::Task<> connectHeld(BoardSession::Operation op);
    QCoro::Task<> disconnectHeld(BoardSession::Operation op);
    // Starts the disconnect that was asked for while an operation ran, once it has ended.
    void disconnectWhenIdle();
    void showDisconnected();

    RetreiveAccountingApp& w_;
    bool disconnectPending_ = false;
};

}  // namespace tarvo
