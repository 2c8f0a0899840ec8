#pragma once

#include <QString>

namespace tarvo {

class RetreiveAccountingApp;

// Everything the board sends, one character at a time, into the response and status boxes.
class ReceivePath {
  public:
    explicit ReceivePath(RetreiveAccountingApp& w);

    // A character from the serial line.
    void MSComm1_OnComm(char c);
    // A BREAK on the serial line.
    void onBreak();
    // The serial device went away under an open connection.
    void onLineLost(const QString& reason);
    // A character read from USB; yields to the event loop once afterwards.
    void ParseDataInWindow(char c);

  private:
    void interpret(char c);
    void tailSteps();

    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
