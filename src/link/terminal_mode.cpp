#include "link/terminal_mode.h"

#include <QKeyEvent>

#include "core/frames.h"
#include "core/terminal_keys.h"
#include "link/board_link.h"
#include "shell/main_window.h"

namespace tarvo {

TerminalMode::TerminalMode(RetreiveAccountingApp& w) : w_(w) {}

void TerminalMode::ButtonTerminalMode_Click() {
    if (w_.link().refusesAddressZero(
            QStringLiteral("Cannot enter terminal mode with multi drop address of 0"))) {
        return;
    }
    // The state and caption change whether or not the frames can be sent.
    const bool enter = !w_.TerminalModeOn;
    w_.TerminalModeOn = enter;
    w_.TerminalView = enter;
    const QString caption =
        enter ? QStringLiteral("Exit Terminal Mode") : QStringLiteral("Enter Terminal Mode");
    w_.ButtonTerminalMode->setText(caption);
    // A screen reader says what the button now does.
    w_.ButtonTerminalMode->setAccessibleName(caption);
    w_.ResponseWindow->clearText();
    // Over USB the board's answers are read only while a reply is expected; whatever command
    // went before, terminal mode is there to show them.
    w_.ExpectReply = true;
    w_.link().sendCommand(enter ? frames::enterTerminalMode() : frames::leaveTerminalMode());
}

bool TerminalMode::ResponseWindow_KeyPress(const QKeyEvent& event) {
    return sendKeys(terminalKeyBytes(event.key(), event.modifiers(), event.text()));
}

bool TerminalMode::ResponseWindow_InputMethod(const QString& committed) {
    return sendKeys(terminalKeyBytes(Qt::Key_unknown, Qt::NoModifier, committed));
}

bool TerminalMode::sendKeys(const QByteArray& keys) {
    if (!w_.TerminalModeOn || keys.isEmpty()) {
        return false;
    }
    for (const char byte : keys) {
        w_.ExpectReply = true;
        w_.link().sendCommand(frames::keystroke(byte));
    }
    return true;
}

void TerminalMode::Command2_Click() {
    w_.ResponseWindow->setFocus();
    w_.ResponseWindow->moveCaretToEnd();
}

}  // namespace tarvo
