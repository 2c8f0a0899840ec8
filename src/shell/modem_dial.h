#pragma once

#include <QString>

namespace tarvo {

class RetreiveAccountingApp;

// The dial button: the number the next connects dial (the session dials it).
class ModemDial {
  public:
    explicit ModemDial(RetreiveAccountingApp& w);

    // Asks for the number the next connects dial; an empty answer means a direct line.
    void ButtonDial_Click();
    // The dial button's tooltip tells what the next connect will do.
    void showNumber();

  private:
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
