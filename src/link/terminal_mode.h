#pragma once

class QKeyEvent;

namespace tarvo {

class RetreiveAccountingApp;

// The board's terminal mode: entering and leaving it, and forwarding the keys typed into the
// response box while it is on.
class TerminalMode {
  public:
    explicit TerminalMode(RetreiveAccountingApp& w);
    void ButtonTerminalMode_Click();
    // Sends the key while the mode is on; the box handles the key itself all the same.
    void ResponseWindow_KeyPress(const QKeyEvent& event);
    // "Pg Down": the caret to the end of the response text.
    void Command2_Click();

  private:
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
