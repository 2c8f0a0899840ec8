#pragma once

#include <QString>

namespace tarvo {

class RetreiveAccountingApp;

// The dial button and the dialling a connect does when a phone number is set.
class ModemDial {
  public:
    explicit ModemDial(RetreiveAccountingApp& w);

    // Asks for the number the next connects dial; an empty answer means a direct line.
    void ButtonDial_Click();
    // On the open serial port: dials PhoneNumber and waits for the modem's word. True only
    // on "SUCCESS"; otherwise failure() holds the word.
    bool dial();
    // Waits for a recognised modem word in the response box: "SUCCESS", an error word or
    // "NO ANSWER".
    QString WaitForConnect();

    // The word the last dial failed with; empty after a successful one or before any.
    const QString& failure() const { return failure_; }
    void forgetFailure() { failure_.clear(); }
    // The dial button's tooltip tells what the next connect will do.
    void showNumber();

  private:
    RetreiveAccountingApp& w_;
    QString failure_;
};

}  // namespace tarvo
