#include "link/receive_path.h"

#include "link/board_link.h"
#include "platform/wait.h"
#include "shell/connection.h"
#include "shell/main_window.h"

namespace tarvo {

ReceivePath::ReceivePath(RetreiveAccountingApp& w) : w_(w) {}

void ReceivePath::MSComm1_OnComm(char c) {
    interpret(c);
    tailSteps();
}

void ReceivePath::ParseDataInWindow(char c) {
    interpret(c);
    tailSteps();
    wait::yieldOnce();
}

void ReceivePath::onBreak() {
    w_.platform().prompts->message(QStringLiteral("Received BREAK!!!"), MsgButtons::Ok,
                                   MsgIcon::Exclamation,
                                   QStringLiteral("Error in Communication..."));
    SerialLine& line = *w_.platform().serial;
    if (line.isOpen()) {
        line.close();
        line.open();
    }
}

void ReceivePath::onLineLost(const QString& reason) {
    // The device went away: return the window to the disconnected state once, then say why.
    if (w_.Connect->text() == QStringLiteral("Disconnect")) {
        w_.connection().Connect_Click();
    }
    w_.Connected = 0;
    w_.SystemMessage->setText(QStringLiteral("CONNECTION LOST"));
    w_.platform().prompts->message(
        QStringLiteral("The connection to the board was lost: %1").arg(reason), MsgButtons::Ok,
        MsgIcon::Exclamation, QStringLiteral("Error in Communication..."));
}

void ReceivePath::interpret(char c) {
    const RxEffect effect = w_.Rx.feed(static_cast<unsigned char>(c));
    switch (effect.kind) {
        case RxEffect::Nothing:
            break;
        case RxEffect::Append:
            w_.ResponseWindow->appendChar(effect.ch);
            break;
        case RxEffect::ClearThenLineBreak:
            w_.ResponseWindow->clearText();
            [[fallthrough]];
        case RxEffect::LineBreak:
            w_.ResponseWindow->appendText(QStringLiteral("\r\n"));
            break;
        case RxEffect::Status:
            w_.SystemMessage->setText(effect.status);
            break;
    }
}

void ReceivePath::tailSteps() {
    if (w_.TerminalView) {
        w_.ResponseWindow->moveCaretToEnd();
        w_.ResponseWindow->setFocus();
    }
    ++w_.RxCount;
    if (w_.RxCount == 32000) {
        w_.RxCount = 0;
    }
}

}  // namespace tarvo
