#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "history/history_test_support.h"
#include "history/postgres_server.h"
#include "platform/app_identity.h"
#include "platform/qsettings_store.h"
#include "support/qstring_printer.h"

namespace tarvo::test {
namespace {

struct Outcome {
    int status = -1;
    QString out, err;
};

// The program's settings and data in `home`.
QProcessEnvironment environment(const QTemporaryDir& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    return env;
}

// The program in a home of its own; `shell` runs it through sh -c with the program as "$0".
Outcome audit(const QTemporaryDir& home, const QStringList& args, const QString& stdoutFile = {},
              const QString& shell = {}) {
    QProcess p;
    p.setProcessEnvironment(environment(home));
    if (!stdoutFile.isEmpty()) {
        p.setStandardOutputFile(stdoutFile);
    }
    if (shell.isEmpty()) {
        p.start(TARVO_AUDIT_BIN, args);
    } else {
        p.start("sh", QStringList{"-c", shell, TARVO_AUDIT_BIN} + args);
    }
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// A bus of two addresses where the simulated board answers at the first.
TEST(AuditProgram, ReadsASimulatedBusAsCsvAndEndsWithStatusOne) {
    QTemporaryDir home;
    const QString trace = home.filePath("trace.txt");
    const Outcome run =
        audit(home, {"--simulate", "--multidrop", "1,2", "--format", "csv", "--trace", trace});
    EXPECT_EQ(run.status, 1);
    const QStringList rows = run.out.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 1 + 6 + 1) << rows.join('\n').toStdString();
    const int address = rows[0].split(',').indexOf("address");
    const int error = rows[0].split(',').indexOf("error");
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(rows[i].split(',')[address], "1");
        EXPECT_EQ(rows[i].split(',')[error], "");
    }
    EXPECT_EQ(rows[7].split(',')[address], "2");
    EXPECT_TRUE(rows[7].split(',')[error].startsWith("no answer from the board"));
    // No progress line when standard error is no terminal.
    EXPECT_FALSE(run.err.contains("left"));
    EXPECT_TRUE(QFile::exists(trace));
    // The window's choices are untouched.
    EXPECT_FALSE(QFile::exists(home.filePath("Tarvo")));

    // The board that answered is in the meter history; the silent one is not.
    const Outcome history = audit(home, {"history", "--format", "json"});
    EXPECT_EQ(history.status, 0);
    const QJsonArray kept = QJsonDocument::fromJson(history.out.toUtf8()).array();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].toObject()["address"].toInt(), 1);
    EXPECT_EQ(kept[0].toObject()["terminals"].toArray().size(), 6);
}

// Output that cannot be written is an error, never a quiet success.
TEST(AuditProgramOutput, StandardOutputThatCannotBeWrittenEndsWithStatusOne) {
    QTemporaryDir home;
    const QStringList commands[] = {
        {"--simulate", "--format", "csv"}, {"history", "--format", "json"}, {"--help"}};
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome run = audit(home, args, "/dev/full");
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains("tarvo-audit: cannot write to standard output"))
            << run.err.toStdString();
        EXPECT_EQ(audit(home, args, "/dev/null").status, 0);
    }
}

// A trace path that is no regular file is refused before anything starts; a FIFO never
// holds the program waiting for a reader.
TEST(AuditProgramOutput, ATracePathThatIsNoRegularFileIsRefused) {
    QTemporaryDir home;
    const QString fifo = home.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    for (const QString& path : {fifo, QString("/dev/full"), home.path()}) {
        SCOPED_TRACE(path.toStdString());
        const Outcome run = audit(home, {"--simulate", "--trace", path}, "/dev/null");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(
            run.err.contains("cannot use " + path + " as the trace file: it is not a regular file"))
            << run.err.toStdString();
    }
}

// A trace that stops on a write error is said on standard error and in the exit status,
// though the readings themselves went out. The file size limit stands in for a full disk:
// the trace starts just under it, the history's small file stays far below.
TEST(AuditProgramOutput, ATraceThatStopsOnAWriteErrorEndsWithStatusOne) {
    QTemporaryDir home;
    const QString trace = home.filePath("trace.txt");
    constexpr qint64 limit = 4 * 1024 * 1024;
    {
        QFile f(trace);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(limit - 200));
    }
    const QString limited =
        QString("trap '' XFSZ; exec prlimit --fsize=%1 -- \"$0\" \"$@\"").arg(limit);
    const Outcome run = audit(home, {"--simulate", "--trace", trace}, "/dev/null", limited);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("tarvo-audit: the trace stopped: cannot write to " + trace + ": " +
                                 std::strerror(EFBIG)))
        << run.err.toStdString();
    // The same run with room for the trace succeeds.
    ASSERT_TRUE(QFile::remove(trace));
    EXPECT_EQ(audit(home, {"--simulate", "--trace", trace}, "/dev/null", limited).status, 0);
}

// With a central history set, what the audit reads goes there too; a server that stalls
// holds neither the end at Ctrl-C nor the reading, which waits, said on standard error.
TEST(AuditProgram, SendsWhatItReadsToTheCentralHistoryAndSaysWhatWaits) {
    QString why;
    PostgresServer* server = PostgresServer::shared(&why);
    ASSERT_TRUE(server) << why.toStdString();
    const QString url = server->newDatabase();
    StallingProxy proxy(url);
    proxy.stall();
    for (const bool stalled : {false, true}) {
        SCOPED_TRACE(stalled ? "stalled" : "answering");
        QTemporaryDir home;
        QSettingsStore settings(
            home.filePath(QStringLiteral("%1/%2.conf").arg(kOrganizationName, kApplicationTitle)));
        settings.setValue("History", "Database", stalled ? proxy.url("?connect_timeout=600") : url);
        settings.sync();
        QProcess p;
        p.setProcessEnvironment(environment(home));
        p.start(TARVO_AUDIT_BIN, {"--simulate", "--format", "json"});
        if (stalled) {
            QByteArray out;
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return (out += p.readAllStandardOutput()).contains("serialNumber"); },
                60000));
            ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        }
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(err.contains("1 readings wait here for the central history"), stalled)
            << p.exitCode() << err.toStdString();
        MeterHistory here(home.filePath("data/Tarvo/meter-history.sqlite"));
        EXPECT_EQ(here.pendingCount(), stalled ? 1 : 0);
    }
    EXPECT_EQ(MeterHistory::central(url)->readings()->size(), 1u);
}

}  // namespace
}  // namespace tarvo::test
