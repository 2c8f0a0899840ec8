#pragma once

#include <QString>
#include <QStringList>

namespace tarvo {

// Turns a filter of the form "description|pattern|description|pattern..." into the name
// filters of the desktop's file dialog: "Location files (*.loc)". "*.*" becomes "*", since on
// Linux "*.*" would hide every file without a dot. A missing last pattern counts as "*".
QStringList dialogNameFilters(const QString& filter);

}  // namespace tarvo
