#include "accounting/cashout_log.h"

#include "core/frames.h"
#include "link/board_link.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

const QString kAddressZero =
    QStringLiteral("Cannot view last cashout with multi drop address of 0");

}  // namespace

CashoutLog::CashoutLog(RetreiveAccountingApp& w) : w_(w) {}

void CashoutLog::ButtonViewLastCashout_Click() {
    if (w_.link().refusesAddressZero(kAddressZero)) {
        return;
    }
    w_.ResponseWindow->clearText();
    // Ask for the reply ourselves rather than rely on what the previous command left: over USB
    // it is read only while ExpectReply is set, and a cash-out viewed right after a command
    // that cleared it would show nothing. The prefixes go without a read, as for the log.
    for (const frames::Command& command : {frames::lastCashout(), frames::cashCommit()}) {
        w_.ExpectReply = false;
        w_.link().sendPrefixFor(command);
        w_.ExpectReply = true;
        w_.link().sendPieces(command);
    }
}

void CashoutLog::CmdViewLog_Click() {
    if (w_.link().refusesAddressZero(kAddressZero)) {
        return;
    }
    const frames::Command command = frames::viewLog();
    w_.ExpectReply = false;
    w_.link().sendPrefixFor(command);
    w_.ExpectReply = true;
    w_.ResponseWindow->clearText();
    w_.link().sendPieces(command);
}

void CashoutLog::Command1_Click() {
    if (w_.link().refusesAddressZero(kAddressZero)) {
        return;
    }
    const frames::Command command = frames::keyCommand();
    w_.link().sendPrefixFor(command);
    w_.ExpectReply = true;
    w_.ResponseWindow->clearText();
    w_.link().sendPieces(command);
}

}  // namespace tarvo
