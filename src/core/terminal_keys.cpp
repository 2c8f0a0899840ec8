#include "terminal_keys.h"

#include "codepage.h"

namespace tarvo {

QByteArray terminalKeyBytes(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    switch (key) {
        case Qt::Key_Backspace:
            return QByteArray(1, 0x08);
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return QByteArray(1, 0x0D);
        case Qt::Key_Escape:
            return QByteArray(1, 0x1B);
        case Qt::Key_Tab:
            return QByteArray(1, 0x09);
        default:
            break;
    }
    // Ctrl with Alt is how some layouts type their third-level characters: that is text.
    const bool control =
        modifiers.testFlag(Qt::ControlModifier) && !modifiers.testFlag(Qt::AltModifier);
    if (control) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) {
            return QByteArray(1, static_cast<char>(key - Qt::Key_A + 1));
        }
        return {};
    }
    // Only what the key types; the control characters some platforms put in the text of
    // Delete and the like are no typed character.
    QString typed;
    for (const QChar ch : text) {
        if (ch.unicode() >= 0x20 && ch.unicode() != 0x7F &&
            !(ch.unicode() >= 0x80 && ch.unicode() < 0xA0)) {
            typed += ch;
        }
    }
    return toBoardBytes(typed);
}

}  // namespace tarvo
