#pragma once

#include <QCoro/QCoroTask>

namespace tarvo {

class RetreiveAccountingApp;
class BoardSession;

// "View Last Cashout", "V I EW  LOG" and "KEY".
class CashoutLog {
  public:
    explicit CashoutLog(RetreiveAccountingApp& w);
    void ButtonViewLastCashout_Click();
    void CmdViewLog_Click();
    void Command1_Click();

  private:
    void run(QCoro::Task<bool> (*operation)(BoardSession&));
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
