#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>

#include "audit/history_command.h"
#include "history/meter_history.h"

namespace tarvo::test {

inline const QDateTime kStart(QDate(2026, 11, 2), QTime(14, 5));

// A reading of terminals 1 and 2 at Com1; every meter of terminal n reads `received` * n.
inline MeterReading reading(const QString& serial, const QDateTime& time, qint64 received) {
    MeterReading r;
    r.time = time;
    r.port = QStringLiteral("Com1");
    r.serialNumber = serial;
    r.firmwareVersion = QStringLiteral("BRD-V2.05");
    for (int n = 1; n <= 2; ++n) {
        MeterReading::Terminal t;
        t.number = n;
        t.status = QStringLiteral("ON");
        for (const auto& f : meterFields()) {
            t.*f.field = QString::number(received * n).rightJustified(9, QLatin1Char('0'));
        }
        r.terminals.push_back(t);
    }
    return r;
}

// The statements run in order on a connection of their own, outside the program's code;
// the first value of the last one's first row, or a null string when one failed.
inline QString onSqlite(const QString& path, const QStringList& statements) {
    QString answer;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("direct"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        bool ok = db.open();
        for (const QString& s : statements) {
            ok = ok && q.exec(s);
        }
        answer = ok ? (q.next() ? q.value(0).toString() : QStringLiteral("")) : QString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("direct"));
    return answer;
}

// The history command's exit status; what it printed in `out` and `err`.
inline int historyCommand(const QStringList& args, QString* out = nullptr, QString* err = nullptr,
                          const QString& central = {}) {
    QString o, e;
    QTextStream os(out ? out : &o), es(err ? err : &e);
    return runHistoryCommand(args, os, es, central);
}

}  // namespace tarvo::test
