#pragma once

class QKeyEvent;
class QByteArray;
class QString;

namespace tarvo {

class RetreiveAccountingApp;

// The board's terminal mode: entering and leaving it, and forwarding the keys typed into the
// response box while it is on.
class TerminalMode {
  public:
    explicit TerminalMode(RetreiveAccountingApp& w);
    void ButtonTerminalMode_Click();
    // Sends the key while the mode is on. True when it went to the board: the box then leaves
    // it out, since the board echoes what it is sent and a terminal shows only the board's
    // side (typed letters would otherwise show twice).
    bool ResponseWindow_KeyPress(const QKeyEvent& event);
    // Characters an input method composed (a dead key and a letter) are typed keys too.
    bool ResponseWindow_InputMethod(const QString& committed);
    // Pasted text goes to the board as keys, in order, as a terminal takes it (line ends as
    // Enter); true while the mode is on, so the box shows only what the board echoes.
    bool ResponseWindow_Paste(const QString& text);
    // "Pg Down": the caret to the end of the response text.
    void Command2_Click();

  private:
    bool sendKeys(const QByteArray& keys);
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
