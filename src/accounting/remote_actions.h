#pragma once

#include <QCoro/QCoroTask>

#include "session/board_session.h"

#include <functional>

namespace tarvo {

class RetreiveAccountingApp;

// Clear memory, force cash-out, coin in and the coin-in multipliers.
class RemoteActions {
  public:
    explicit RemoteActions(RetreiveAccountingApp& w);
    void ClearMemory_Click();
    void ForceCashout_Click(int index);
    void PutCoinIn_Click(int index);
    void SendCoinMultiA_Click(int index);
    void SendCoinMultiB_Click(int index);
    void TxtCoinInMultiA_Change(int index);
    void TxtCoinInMultiB_Change(int index);

    // Called after the clear commands went to a connected board.
    std::function<void()> onMemoryCleared;

    // Coin-in multiplier A or B of terminal `index` from its box, for a handler that already
    // holds the board (calibration). False when nothing went out.
    QCoro::Task<bool> sendMultiplier(char input, int index);

  private:
    QCoro::Task<> clearMemory(BoardSession::Operation op);
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
