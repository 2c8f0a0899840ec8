#include "postgres_server.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>

namespace tarvo::test {

namespace {

constexpr const char* kUser = "tarvo";
constexpr const char* kPassword = "tarvo-history-test";

QString binary(const char* name) {
    const QString dir = qEnvironmentVariable("TARVO_PG_BIN", "/usr/lib/postgresql/15/bin");
    return dir + QLatin1Char('/') + QLatin1String(name);
}

std::unique_ptr<PostgresServer>& instance() {
    static std::unique_ptr<PostgresServer> server;
    return server;
}

// Stops the server when the tests end, while the application still runs.
class StopAtEnd : public ::testing::Environment {
  public:
    void TearDown() override { instance().reset(); }
};
[[maybe_unused]] auto* const kStopAtEnd = ::testing::AddGlobalTestEnvironment(new StopAtEnd);

}  // namespace

PostgresServer* PostgresServer::shared(QString* why) {
    static QString failed;
    if (!instance() && failed.isEmpty()) {
        std::unique_ptr<PostgresServer> server(new PostgresServer);
        if (server->setUp(&failed)) {
            instance() = std::move(server);
        }
    }
    *why = failed;
    return instance().get();
}

PostgresServer::~PostgresServer() {
    stop();
}

// The server refuses to run as root: as root (a fresh CI machine) it runs as "nobody".
bool PostgresServer::run(const QString& program, const QStringList& args, QString* why) {
    QProcess p;
    p.setWorkingDirectory(dir_.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (geteuid() == 0) {
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                            program} +
                    args);
    } else {
        p.start(program, args);
    }
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *why = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool PostgresServer::setUp(QString* why) {
    QElapsedTimer timer;
    timer.start();
    if (!dir_.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    const QString pwfile = dir_.filePath(QStringLiteral("pw"));
    {
        QFile f(pwfile);
        if (!f.open(QIODevice::WriteOnly)) {
            *why = QStringLiteral("cannot write %1").arg(pwfile);
            return false;
        }
        f.write(kPassword);
    }
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody ||
            chown(QFile::encodeName(dir_.path()).constData(), nobody->pw_uid, nobody->pw_gid) !=
                0 ||
            chown(QFile::encodeName(pwfile).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            *why = QStringLiteral("cannot hand the folder to the user nobody");
            return false;
        }
    }
    if (!run(binary("initdb"),
             {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-U"),
              QLatin1String(kUser), QStringLiteral("--pwfile=") + pwfile,
              QStringLiteral("--auth=scram-sha-256"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--no-sync")},
             why)) {
        return false;
    }
    // Another test program may take the free port first: then another one.
    for (int attempt = 0; !running_ && attempt < 3; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            *why = QStringLiteral("no free port");
            return false;
        }
        port_ = probe.serverPort();
        probe.close();
        tryStart(why);
    }
    if (!running_) {
        QFile log(dir_.filePath(QStringLiteral("log")));
        if (log.open(QIODevice::ReadOnly)) {
            *why += QString::fromLocal8Bit(log.readAll());
        }
        return false;
    }
    qputenv("PGUSER", kUser);
    qputenv("PGPASSWORD", kPassword);
    startMs_ = timer.elapsed();
    return true;
}

bool PostgresServer::start() {
    QString why;
    if (!tryStart(&why)) {
        ADD_FAILURE() << why.toStdString();
    }
    return running_;
}

bool PostgresServer::tryStart(QString* why) {
    if (running_) {
        return true;
    }
    running_ =
        run(binary("pg_ctl"),
            {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"),
             dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-t"),
             QStringLiteral("60"), QStringLiteral("-o"),
             QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                 .arg(port_)
                 .arg(dir_.path()),
             QStringLiteral("start")},
            why);
    return running_;
}

bool PostgresServer::stop() {
    if (!running_) {
        return true;
    }
    QString why;
    running_ =
        !run(binary("pg_ctl"),
             {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-m"),
              QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
             &why);
    return !running_;
}

QString PostgresServer::newDatabase() {
    const QString name = QStringLiteral("history%1").arg(++databases_);
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(port_);
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open()) {
            ADD_FAILURE() << db.lastError().text().toStdString();
        }
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("CREATE DATABASE ") + name)) {
            ADD_FAILURE() << q.lastError().text().toStdString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));
    return QStringLiteral("postgresql://127.0.0.1:%1/%2").arg(port_).arg(name);
}

}  // namespace tarvo::test
