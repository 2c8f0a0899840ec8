#pragma once

#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>

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
    // One statement on `database`, a name or an address, outside the program's code.
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
