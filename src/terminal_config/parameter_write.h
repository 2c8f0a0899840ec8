#pragma once

#include <QCoro/QCoroTask>

namespace tarvo {

class RetreiveAccountingApp;

// "Write to Tarvo Board": one terminal's pulse value, multiplier and value-in unit.
class ParameterWrite {
  public:
    explicit ParameterWrite(RetreiveAccountingApp& w);
    void cmdWriteToTarvo_Click(int index);

    // The write for a handler that already holds the board (calibration).
    QCoro::Task<> write(int index);

  private:
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
