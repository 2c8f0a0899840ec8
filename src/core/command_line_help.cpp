#include "core/command_line_help.h"

#include <QStringList>

namespace tarvo {

QString optionsHelp(const QList<QCommandLineOption>& options) {
    constexpr qsizetype kColumn = 28;
    QString text = QStringLiteral("Options:\n");
    for (const QCommandLineOption& o : options) {
        QStringList names;
        for (const QString& name : o.names()) {
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        }
        QString left = QStringLiteral("  ") + names.join(QStringLiteral(", "));
        if (!o.valueName().isEmpty()) {
            left += QLatin1Char(' ') + o.valueName();
        }
        // An option too long for the column puts its description on the next line.
        left = left.size() < kColumn
                   ? left.leftJustified(kColumn)
                   : left + QLatin1Char('\n') + QString(kColumn, QLatin1Char(' '));
        text += left + o.description() + QLatin1Char('\n');
    }
    return text;
}

}  // namespace tarvo
