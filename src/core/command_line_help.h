#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

namespace tarvo {

// The option list of a --help text: "  -h, --help  text", one option a line, descriptions
// lined up. Built without an application object, so --help needs no display.
QString optionsHelp(const QList<QCommandLineOption>& options);

}  // namespace tarvo
