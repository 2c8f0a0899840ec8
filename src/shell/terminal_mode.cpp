#include "shell/terminal_mode.h"

#include <QKeyEvent>

#include "core/terminal_keys.h"
#include "session/board_operations.h"
#include "shell/main_window.h"

namespace tarvo {

TerminalMode::TerminalMode(RetreiveAccountingApp& w) : w_(w) {}

void TerminalMode::ButtonTerminalMode_Click() {
    BoardSession& s = w_.session();
    auto op = w_.beginOperation();
    if (!op || s.refusesAddressZero(
                   QStringLiteral("Cannot enter terminal mode with multi drop address of 0"))) {
        return;
    }
    // The state, and with it the caption, changes whether or not the frames can be sent.
    const bool enter = !s.terminalMode();
    s.setTerminalMode(enter);
    [](BoardSession& s, bool enter,
       [[maybe_unused]] BoardSession::Operation held) -> QCoro::Task<> {
        co_await board::terminalMode(s, enter);
    }(s, enter, std::move(op));
}

bool TerminalMode::ResponseWindow_KeyPress(const QKeyEvent& event) {
    // Ctrl+V pastes, as Shift+Insert does: the box hands the text to ResponseWindow_Paste.
    if (event.matches(QKeySequence::Paste)) {
        return false;
    }
    return sendKeys(terminalKeyBytes(event.key(), event.modifiers(), event.text()));
}

bool TerminalMode::ResponseWindow_InputMethod(const QString& committed) {
    return sendKeys(terminalKeyBytes(Qt::Key_unknown, Qt::NoModifier, committed));
}

bool TerminalMode::ResponseWindow_Paste(const QString& text) {
    if (!w_.TerminalModeOn) {
        return false;
    }
    QByteArray keys;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            // CR LF, CR or LF: one Enter.
            if (ch == QLatin1Char('\r') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('\n')) {
                ++i;
            }
            keys += terminalKeyBytes(Qt::Key_Return, Qt::NoModifier, QString());
        } else if (ch == QLatin1Char('\t')) {
            keys += terminalKeyBytes(Qt::Key_Tab, Qt::NoModifier, QString());
        } else {
            keys += terminalKeyBytes(Qt::Key_unknown, Qt::NoModifier, QString(ch));
        }
    }
    sendKeys(keys);
    return true;
}

bool TerminalMode::sendKeys(const QByteArray& keys) {
    if (!w_.TerminalModeOn || keys.isEmpty()) {
        return false;
    }
    // Keys typed while a key's frame is still going out wait their turn in the session; a
    // key while another command holds the board is not sent. Either way the box shows only
    // what the board echoes.
    w_.session().sendKeys(keys);
    return true;
}

void TerminalMode::Command2_Click() {
    w_.ResponseWindow->setFocus();
    w_.ResponseWindow->moveCaretToEnd();
}

}  // namespace tarvo
