#pragma once

namespace tarvo {

class RetreiveAccountingApp;

// The Connect button: toggles between the disconnected and the connected state.
class Connection {
  public:
    explicit Connection(RetreiveAccountingApp& w);
    void Connect_Click();

    // The connect and disconnect of a handler that already holds the board (the parameter
    // write's reconnect).
    void connectBoard();
    void disconnectBoard();
    // The line went away: the window returns to the disconnected state without writing.
    void lineLost();
    // The window closes: disconnects now, or once the running operation has returned.
    void closeForGood();
    // Called when an operation ends: a Disconnect clicked during it happens now.
    void operationEnded();

  private:
    void showDisconnected();

    RetreiveAccountingApp& w_;
    bool disconnectPending_ = false;
};

}  // namespace tarvo
