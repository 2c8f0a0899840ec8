#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace tarvo {

// `history [--serial S] [--since DATE] [--format json|csv|text] [--database PATH|URL] [--push]`,
// given the arguments after the word "history". DATE is YYYY-MM-DD or an ISO date-time, local
// time. Prints one record per reading, oldest first; a `postgresql://` database lists the
// central history. `--push` sends the readings still waiting in the local file to the central
// history (a URL given, else `centralUrl`, the one the settings name). Returns the exit
// status: zero when done, one when the history could not be read or sent, two for wrong usage.
int runHistoryCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                      const QString& centralUrl);
int runHistoryCommand(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace tarvo
