#pragma once

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
    void run(int position);
    // Sets coin-in multiplier A to 25 and selects and writes `multiplier`; false when the
    // terminal's list does not offer it.
    bool calibrate(int index, int multiplier);
    void refuse(const char* text, const char* title);

    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
