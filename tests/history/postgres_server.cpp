#include "postgres_server.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <memory>

namespace tarvo::test {

namespace {

constexpr const char* kUser = "tarvo";
constexpr const char* kPassword = "tarvo-history-test";

// Holds the server, stopped when the tests end, while the application still runs.
struct Holder : ::testing::Environment {
    void TearDown() override { server.reset(); }
    std::unique_ptr<PostgresServer> server;
};
auto* const kHolder = static_cast<Holder*>(::testing::AddGlobalTestEnvironment(new Holder));

}  // namespace

PostgresServer* PostgresServer::shared(QString* why) {
    static QString failed;
    if (!kHolder->server && failed.isEmpty()) {
        auto server = std::make_unique<PostgresServer>();
        if (server->setUp(&failed)) {
            kHolder->server = std::move(server);
        }
    }
    *why = failed;
    return kHolder->server.get();
}

// The server refuses to run as root: as root (a fresh CI machine) it runs as "nobody".
bool PostgresServer::run(const QString& program, const QStringList& args, QString* why) {
    const QString path =
        program.startsWith('/')
            ? program
            : qEnvironmentVariable("TARVO_PG_BIN", "/usr/lib/postgresql/15/bin") + '/' + program;
    QProcess p;
    p.setWorkingDirectory(dir_.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (geteuid() == 0) {
        p.start("runuser", QStringList{"-u", "nobody", "--", path} + args);
    } else {
        p.start(path, args);
    }
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *why = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool PostgresServer::pgCtl(const QStringList& args, QString* why) {
    return run("pg_ctl", QStringList{"-D", dir_.filePath("data"), "-w"} + args, why);
}

QStringList PostgresServer::startArgs() const {
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                                .arg(QString::number(port_), dir_.path());
    return {"-l", dir_.filePath("log"), "-t", "60", "-o", options + tls_, "start"};
}

bool PostgresServer::setUp(QString* why) {
    const QString pwfile = dir_.filePath("pw");
    QFile f(pwfile);
    if (!dir_.isValid() || !f.open(QIODevice::WriteOnly) || f.write(kPassword) < 0) {
        *why = "cannot write " + pwfile;
        return false;
    }
    f.close();
    const passwd* nobody = getpwnam("nobody");
    for (const QString& path : {dir_.path(), pwfile}) {
        if (geteuid() == 0 && (!nobody || chown(QFile::encodeName(path).constData(), nobody->pw_uid,
                                                nobody->pw_gid) != 0)) {
            *why = "cannot hand " + path + " to the user nobody";
            return false;
        }
    }
    if (!run("initdb",
             {"-D", dir_.filePath("data"), "-U", kUser, "--pwfile=" + pwfile,
              "--auth=scram-sha-256", "-E", "UTF8", "--no-sync"},
             why)) {
        return false;
    }
    // Another test program may take the free port first: then another one.
    for (int attempt = 0; !running_ && attempt < 3; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            *why = "no free port";
            return false;
        }
        port_ = probe.serverPort();
        probe.close();
        running_ = pgCtl(startArgs(), why);
    }
    if (!running_) {
        QFile log(dir_.filePath("log"));
        *why += log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : "";
        return false;
    }
    qputenv("PGUSER", kUser);
    qputenv("PGPASSWORD", kPassword);
    return true;
}

bool PostgresServer::start() {
    QString why;
    running_ = running_ || pgCtl(startArgs(), &why);
    EXPECT_TRUE(running_) << why.toStdString();
    return running_;
}

bool PostgresServer::stop() {
    QString why;
    running_ = running_ && !pgCtl({"-m", "fast", "stop"}, &why);
    return !running_;
}

bool PostgresServer::exec(const QString& database, const QString& sql) {
    bool ok = false;
    {
        auto db = QSqlDatabase::addDatabase("QPSQL", "admin");
        db.setHostName("127.0.0.1");
        db.setPort(port_);
        db.setDatabaseName(database.section('/', -1));
        QSqlQuery q(db);
        ok = db.open() && q.exec(sql);
        EXPECT_TRUE(ok) << (db.isOpen() ? q.lastError() : db.lastError()).text().toStdString();
    }
    QSqlDatabase::removeDatabase("admin");
    return ok;
}

bool PostgresServer::enableTls(QString* certificate) {
    const QString key = dir_.filePath("server.key"), crt = dir_.filePath("server.crt");
    QString why;
    *certificate = crt;
    if (!tls_.isEmpty()) {
        return true;
    }
    EXPECT_TRUE(run(
        "/usr/bin/openssl",
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", crt},
        &why))
        << why.toStdString();
    tls_ = QStringLiteral(" -c ssl=on -c ssl_cert_file=%1 -c ssl_key_file=%2").arg(crt, key);
    return why.isEmpty() && stop() && start();
}

QString PostgresServer::newDatabase() {
    const QString name = QStringLiteral("history%1").arg(++databases_);
    exec("postgres", "CREATE DATABASE " + name);
    return QStringLiteral("postgresql://127.0.0.1:%1/%2").arg(port_).arg(name);
}

}  // namespace tarvo::test
