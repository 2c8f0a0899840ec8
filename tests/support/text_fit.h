#pragma once

#include <QStringList>
#include <functional>

class QWidget;

namespace tarvo::test {

// Every text that a visible widget under `top` (top included) cannot show whole, one line
// each: "PrinterStatus: \"No Errors\" needs 61 px, has 40". Each text is measured with the
// widget's own font against the room its style gives it: line edits against their inner
// width, buttons, option buttons and labels against their contents, combo boxes with their
// longest item, group boxes with their title, list views with every row. Empty when all fit.
QStringList cutTexts(const QWidget& top);

// Runs `check` at the application's font and at one and a half and twice its size (what a
// larger desktop font or a high-resolution screen gives), then puts the font back.
void atEachFontScale(const std::function<void(double scale)>& check);

}  // namespace tarvo::test
