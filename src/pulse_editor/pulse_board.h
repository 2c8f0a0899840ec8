#pragma once

#include <QCoro/QCoroTask>

#include "session/board_session.h"

namespace tarvo {

class FrmSetPulses;

// "READ" and "WRITE": the six games' pulse settings from and to the board, through the board
// session.
class PulseBoard {
  public:
    explicit PulseBoard(FrmSetPulses& f);
    void CmdRead_Click();
    void CmdWrite_Click();

  private:
    QCoro::Task<> read(BoardSession::Operation op);
    FrmSetPulses& f_;
};

}  // namespace tarvo
