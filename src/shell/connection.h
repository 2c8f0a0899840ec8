#pragma once

namespace tarvo {

class RetreiveAccountingApp;

// The Connect button: toggles between the disconnected and the connected state.
class Connection {
  public:
    explicit Connection(RetreiveAccountingApp& w);
    void Connect_Click();

  private:
    void connectBoard();
    void disconnectBoard();
    // Sends the probe bytes of a Tarvo Board System; true when the board answered.
    bool probe();

    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
