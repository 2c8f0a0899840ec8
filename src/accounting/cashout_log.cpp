#include "accounting/cashout_log.h"

#include "session/board_operations.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

const QString kAddressZero =
    QStringLiteral("Cannot view last cashout with multi drop address of 0");

}  // namespace

CashoutLog::CashoutLog(RetreiveAccountingApp& w) : w_(w) {}

void CashoutLog::ButtonViewLastCashout_Click() {
    run(board::viewLastCashout);
}

void CashoutLog::CmdViewLog_Click() {
    run(board::viewLog);
}

void CashoutLog::Command1_Click() {
    run(board::sendKey);
}

void CashoutLog::run(QCoro::Task<bool> (*operation)(BoardSession&)) {
    auto op = w_.beginOperation();
    if (!op || w_.session().refusesAddressZero(kAddressZero)) {
        return;
    }
    [](BoardSession& s, auto send, [[maybe_unused]] BoardSession::Operation held) -> QCoro::Task<> {
        co_await send(s);
    }(w_.session(), operation, std::move(op));
}

}  // namespace tarvo
