#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/trace_log.h"

namespace tarvo::test {
namespace {

struct Outcome {
    int status = -1;
    QString err;
};

// The program in a home of its own; `shell` runs it through sh -c with the program as "$0".
Outcome audit(const QTemporaryDir& home, const QStringList& args, const QString& stdoutFile = {},
              const QString& shell = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    p.setProcessEnvironment(env);
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
            QString::fromLocal8Bit(p.readAllStandardError())};
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

}  // namespace
}  // namespace tarvo::test
