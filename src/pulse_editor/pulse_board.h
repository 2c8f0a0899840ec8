#pragma once

namespace tarvo {

class FrmSetPulses;

// "READ" and "WRITE": the six games' pulse settings from and to the board, through the board
// session.
class PulseBoard {
  public:
    explicit PulseBoard(FrmSetPulses& f);
    void CmdRead_Click();
    void CmdWrite_Click();

    // True while READ waits for the board's reply.
    bool reading() const { return reading_; }

  private:
    FrmSetPulses& f_;
    bool reading_ = false;
};

}  // namespace tarvo
