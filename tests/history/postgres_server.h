#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tarvo::test {

// A PostgreSQL server of its own in a temporary folder, on a free port of the loopback,
// asking for a password that the tests give through PGPASSWORD. Started at the first use
// in a test program and stopped when the program's tests end.
class PostgresServer {
  public:
    // The server of this test program, started if needed; null when it cannot start, with
    // the reason in `why`.
    static PostgresServer* shared(QString* why);
    ~PostgresServer() { stop(); }

    bool stop();
    bool start();
    // "postgresql://127.0.0.1:PORT/NAME" of a new, empty database.
    QString newDatabase();
    // One statement on `database`, outside the program's code.
    bool exec(const QString& database, const QString& sql);
    // From now on serves TLS too, with a certificate for 127.0.0.1 made for the purpose;
    // its file in `certificate`.
    bool enableTls(QString* certificate);

  private:
    bool setUp(QString* why);
    QStringList startArgs() const;
    bool pgCtl(const QStringList& args, QString* why);
    bool run(const QString& program, const QStringList& args, QString* why);

    QTemporaryDir dir_;
    int port_ = 0;
    int databases_ = 0;
    bool running_ = false;
    QString tls_;  // the server's options for TLS, once enabled
};

}  // namespace tarvo::test
