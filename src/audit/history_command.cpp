#include "audit/history_command.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>

#include "core/meter_reading.h"
#include "history/meter_history.h"

namespace tarvo {

namespace {

std::optional<QDateTime> parseSince(const QString& text) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid() && text.size() == 10) {
        return day.startOfDay();
    }
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (time.isValid()) {
        return time;
    }
    return std::nullopt;
}

}  // namespace

int runHistoryCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    return runHistoryCommand(args, out, err, QString());
}

int runHistoryCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                      const QString& centralUrl) {
    const QString usage = QStringLiteral(
        "usage: tarvo-audit history [--serial S] [--since DATE] [--format json|csv|text] "
        "[--database PATH|URL] [--push]\n");
    MeterHistory::Filter filter;
    RecordFormat format = RecordFormat::Text;
    QString path;
    QString url;
    bool push = false;
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        if (!name.startsWith(QLatin1String("--"))) {
            err << "tarvo-audit history: unexpected argument: " << name << '\n' << usage;
            return 2;
        }
        if (name == QLatin1String("--push")) {
            push = true;
            continue;
        }
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            err << "tarvo-audit history: " << name << " needs a value\n" << usage;
            return 2;
        }
        if (name == QLatin1String("--serial")) {
            filter.serial = value;
        } else if (name == QLatin1String("--since")) {
            filter.since = parseSince(value);
            if (!filter.since) {
                err << "tarvo-audit history: not a date: " << value << '\n' << usage;
                return 2;
            }
        } else if (name == QLatin1String("--format")) {
            const auto f = recordFormat(value);
            if (!f) {
                err << "tarvo-audit history: unknown format: " << value << '\n' << usage;
                return 2;
            }
            format = *f;
        } else if (name == QLatin1String("--database")) {
            // A server address names the central history, anything else the local file.
            if (value.contains(QLatin1String("://"))) {
                if (!MeterHistory::isCentralUrl(value)) {
                    err << "tarvo-audit history: not a central history address (postgresql://"
                           "host[:port]/dbname): "
                        << value << '\n';
                    return 2;
                }
                url = value;
            } else {
                path = value;
            }
        } else {
            err << "tarvo-audit history: unknown option: " << name << '\n' << usage;
            return 2;
        }
    }
    if (push) {
        const QString to = url.isEmpty() ? centralUrl : url;
        if (to.isEmpty()) {
            err << "tarvo-audit history: no central history: give --database postgresql://... "
                   "or set Database in the [History] section of the settings\n";
            return 2;
        }
        MeterHistory local(path, MeterHistory::Damaged::Refuse);
        if (!QFileInfo::exists(local.path())) {
            err << "tarvo-audit history: no readings kept yet in " << local.path() << '\n';
            return 0;
        }
        local.setCentral(to);
        const auto sent = local.pushPending();
        if (!sent) {
            err << "tarvo-audit history: "
                << (local.centralProblem().isEmpty() ? local.problem() : local.centralProblem())
                << '\n';
            return 1;
        }
        err << "tarvo-audit history: " << *sent << " readings sent to " << to << '\n';
        return 0;
    }
    std::vector<MeterReading> readings;
    if (!url.isEmpty()) {
        const auto central = MeterHistory::central(url);
        const auto found = central->readings(filter);
        if (!found) {
            err << "tarvo-audit history: " << central->problem() << '\n';
            return 1;
        }
        readings = *found;
    } else {
        // Listing only reads: the file stays as it is, journal mode included.
        MeterHistory history(path, MeterHistory::Damaged::Refuse);
        history.setReadOnly(true);
        if (!QFileInfo::exists(history.path())) {
            // Nothing read yet is an empty history, not a failure.
            err << "tarvo-audit history: no readings kept yet in " << history.path() << '\n';
        } else {
            const auto found = history.readings(filter);
            if (!found) {
                err << "tarvo-audit history: " << history.problem() << '\n';
                return 1;
            }
            readings = *found;
        }
    }
    out << formatReadings(readings, format, true);
    out.flush();
    return 0;
}

}  // namespace tarvo
