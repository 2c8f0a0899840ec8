#pragma once

#include <QByteArray>
#include <QString>
#include <Qt>

namespace tarvo {

// The bytes a key typed in terminal mode sends, one keystroke each: the Windows-1252 byte of
// each character it types, 0x08 for Backspace, 0x0D for Enter, 0x1B for Escape, 0x09 for Tab,
// and the control code 0x01..0x1A for Ctrl with a letter. Keys that type no character (arrows,
// function keys, Delete, a modifier alone) send nothing.
QByteArray terminalKeyBytes(int key, Qt::KeyboardModifiers modifiers, const QString& text);

}  // namespace tarvo
