#include "core/dialog_filter.h"

namespace tarvo {

QStringList dialogNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 <= parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString pattern = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        if (description.isEmpty() && pattern.isEmpty()) {
            continue;
        }
        QStringList patterns;
        for (const QString& p : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << (p.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : p.trimmed());
        }
        if (patterns.isEmpty()) {
            patterns << QStringLiteral("*");
        }
        // The description usually repeats its pattern in brackets; the dialog reads the
        // pattern from the brackets, so they must hold the converted one.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')'))) {
            description = description.left(open).trimmed();
        }
        if (description.isEmpty()) {
            description = patterns.join(QLatin1Char(' '));
        }
        result << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return result;
}

}  // namespace tarvo
