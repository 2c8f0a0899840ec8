#pragma once

#include <QString>

class QLineEdit;

namespace tarvo {

// Keeps a one-line box at least wide enough to show `longest` whole in the box's own font.
// The width is worked out again whenever the font or style changes, so a larger desktop
// font makes the layout and the window grow instead of cutting the value.
void reserveTextRoom(QLineEdit* box, const QString& longest);

}  // namespace tarvo
