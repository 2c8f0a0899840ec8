#include "audit/history_command.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>
#include <QFileInfo>

#include "core/meter_reading.h"
#include "history/meter_history.h"
#include "history/postgres_store.h"

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
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the kept meter readings, oldest first, with the meters that went backwards; "
        "with --push sends the readings still waiting here to the central history."));
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("Only the board with this serial."),
                                          QStringLiteral("S"));
    const QCommandLineOption sinceOption(QStringLiteral("since"),
                                         QStringLiteral("Only readings from then on (local time)."),
                                         QStringLiteral("YYYY-MM-DD|DATE-TIME"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("The form of the records (default text)."),
                                          QStringLiteral("json|csv|text"));
    const QCommandLineOption databaseOption(
        QStringLiteral("database"),
        QStringLiteral("The local file, or the central history's postgresql:// address."),
        QStringLiteral("PATH|URL"));
    const QCommandLineOption pushOption(QStringLiteral("push"),
                                        QStringLiteral("Sends the readings still waiting here."));
    parser.addOptions({serialOption, sinceOption, formatOption, databaseOption, pushOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    auto wrong = [&](const QString& why) {
        err << "tarvo-audit history: " << why << '\n' << usage;
        return 2;
    };
    if (!parser.parse(QStringList{QStringLiteral("tarvo-audit history")} + args)) {
        return wrong(parser.errorText());
    }
    if (parser.isSet(helpOption)) {
        // The parser names the program by its path; the user typed the command.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: tarvo-audit history [options]"));
        out << help;
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out << "tarvo-audit " TARVO_VERSION "\n";
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return wrong(QStringLiteral("unexpected argument: ") +
                     parser.positionalArguments().front());
    }
    // "--serial --push": an option where a value belongs is a mistake, not a serial.
    for (const auto* o : {&serialOption, &sinceOption, &formatOption, &databaseOption}) {
        const QString value = parser.value(*o);
        if (value.startsWith(QLatin1String("--"))) {
            return wrong(QStringLiteral("--%1 needs a value, not the option %2")
                             .arg(o->names().front(), value));
        }
    }
    MeterHistory::Filter filter;
    filter.serial = parser.value(serialOption);
    if (parser.isSet(sinceOption)) {
        filter.since = parseSince(parser.value(sinceOption));
        if (!filter.since) {
            return wrong(QStringLiteral("not a date: ") + parser.value(sinceOption));
        }
    }
    RecordFormat format = RecordFormat::Text;
    if (parser.isSet(formatOption)) {
        const auto f = recordFormat(parser.value(formatOption));
        if (!f) {
            return wrong(QStringLiteral("unknown format: ") + parser.value(formatOption));
        }
        format = *f;
    }
    QString path;
    QString url;
    // A server address names the central history, anything else the local file; the last
    // given of each counts.
    for (const QString& value : parser.values(databaseOption)) {
        if (value.contains(QLatin1String("://"))) {
            QString why;
            if (!PostgresStore::parseAddress(value, &why)) {
                err << "tarvo-audit history: " << why << '\n';
                return 2;
            }
            url = value;
        } else {
            path = value;
        }
    }
    const bool push = parser.isSet(pushOption);
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
        for (const QString& notice : local.takeNotices()) {
            err << "tarvo-audit history: " << notice << '\n';
        }
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
