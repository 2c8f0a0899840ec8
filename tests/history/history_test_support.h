#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QUrl>

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

// Passes connections on to a server until stall(); from then on no byte goes either way and
// nothing is closed: a server, or a link, that hangs. Runs in the test's event loop.
class StallingProxy {
  public:
    explicit StallingProxy(const QString& url) : target_(QUrl(url)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* in = server_.nextPendingConnection()) {
                auto* out = new QTcpSocket(in);
                out->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(target_.port()));
                for (const auto& way : {std::pair{in, out}, std::pair{out, in}}) {
                    QTcpSocket* from = way.first;
                    QTcpSocket* to = way.second;
                    QObject::connect(from, &QTcpSocket::readyRead, to, [this, from, to] {
                        if (!stalled_) {
                            to->write(from->readAll());
                        }
                    });
                    QObject::connect(from, &QTcpSocket::disconnected, to,
                                     &QTcpSocket::disconnectFromHost);
                }
            }
        });
    }
    // The server's address through the proxy, with `query` appended.
    QString url(const QString& query = {}) const {
        QUrl through = target_;
        through.setPort(server_.serverPort());
        return through.toString() + query;
    }
    void stall() { stalled_ = true; }

  private:
    QUrl target_;
    QTcpServer server_;
    bool stalled_ = false;
};

}  // namespace tarvo::test
