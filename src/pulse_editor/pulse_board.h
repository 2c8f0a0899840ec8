#pragma once

namespace tarvo {

class FrmSetPulses;

// "READ" and "WRITE": the six games' pulse settings from and to the board, through the main
// window's link, response box and ticks.
class PulseBoard {
  public:
    explicit PulseBoard(FrmSetPulses& f);
    void CmdRead_Click();
    void CmdWrite_Click();

  private:
    FrmSetPulses& f_;
};

}  // namespace tarvo
