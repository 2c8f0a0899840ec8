#pragma once

#include <QCoro/QCoroTask>
#include <QStringList>

#include "session/board_session.h"

namespace tarvo {

class RetreiveAccountingApp;

// "Auto Calibrate": finds a terminal's pulse multiplier with four test coins, using the
// actions the technician would click (meter report, coin in, cash-out, coin-in multiplier A,
// parameter write).
class AutoCalibration {
  public:
    explicit AutoCalibration(RetreiveAccountingApp& w);
    void CmdAutoCalibrate_Click();

  private:
    QCoro::Task<> run(BoardSession::Operation op, int position);
    // What the calibration has to say; shown once its last frame went out.
    QCoro::Task<QStringList> calibrateAll(int position);
    // Sets coin-in multiplier A to 25 and selects and writes `multiplier`; false when the
    // terminal's list does not offer it.
    QCoro::Task<bool> calibrate(int index, int multiplier);
    void refuse(const char* text, const char* title);

    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
