#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "platform/trace_log.h"
#include "support/fake_serial_line.h"
#include "support/qstring_printer.h"

namespace tarvo::test {
namespace {

QStringList linesOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The part after the time stamp.
QString body(const QString& line) {
    return line.mid(24);
}

TEST(TraceLog, MarksAddressBytesAndKeepsDirectionsApart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    QString error;
    auto log = TraceLog::open(path, "test", &error);
    ASSERT_TRUE(log) << error.toStdString();
    auto fake = std::make_shared<FakeSerialLine>();
    TracingSerialLine line(fake, log);
    QByteArray heard;
    QObject::connect(&line, &SerialLine::charReceived, [&](char c) { heard += c; });
    line.open();
    line.setSettings("9600,M,8,1");
    line.write(QByteArray(1, '\x07'));
    line.drain();
    line.setSettings("9600,S,8,1");
    line.write("\x03\x1b\x41");
    fake->receive("OK\r");
    line.write(QByteArray(1, '\x05'));
    QTest::qWait(1);
    EXPECT_EQ(heard, QByteArray("OK\r"));
    EXPECT_EQ(fake->sentBytes(), "\x07\x03\x1b\x41\x05");

    const QStringList lines = linesOf(path);
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains("trace of test started"));
    EXPECT_TRUE(lines[1].contains("open Com1"));
    EXPECT_EQ(body(lines[2]), "TX ADDR 07  |.|");
    EXPECT_EQ(body(lines[3]), "TX      03 1B 41  |..A|");
    EXPECT_EQ(body(lines[4]), "RX      4F 4B 0D  |OK.|");
    EXPECT_EQ(body(lines[5]), "TX      05  |.|");
    EXPECT_TRUE(QDateTime::fromString(lines[2].left(23), "yyyy-MM-dd hh:mm:ss.zzz").isValid());
}

TEST(TraceLog, AppendsAndStopsAtItsLimitWithALastLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier run\n");
    }
    constexpr qint64 limit = 2000;
    QString error;
    auto log = TraceLog::open(path, "test", &error, limit);
    ASSERT_TRUE(log);
    for (int i = 0; i < 200 && !log->stopped(); ++i) {
        log->bytes(TraceLog::Direction::Sent, "0123456789");
        log->flush();
    }
    EXPECT_TRUE(log->stopped());
    log->bytes(TraceLog::Direction::Received, "late");
    log.reset();
    const QStringList lines = linesOf(path);
    EXPECT_EQ(lines.front(), "earlier run");
    EXPECT_TRUE(lines.back().endsWith("trace stopped: the file reached its size limit"));
    EXPECT_LE(QFileInfo(path).size(), limit);
    EXPECT_FALSE(lines.join('\n').contains("6C 61 74 65"));  // "late"
    EXPECT_FALSE(TraceLog::open(dir.filePath("missing/trace.txt"), "test", &error));
}

// A FIFO would hold the program at start until something reads it, a device swallows or
// refuses the trace: only a regular file is taken.
TEST(TraceLog, RefusesWhatIsNoRegularFile) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    for (const QString& path : {fifo, QString("/dev/full"), dir.path()}) {
        QString error;
        EXPECT_FALSE(TraceLog::open(path, "test", &error));
        EXPECT_EQ(error, "cannot use " + path + " as the trace file: it is not a regular file");
    }
}

// A write that fails stops the trace, says so once on standard error and is kept for the
// exit status. The file size limit of the process stands in for a full disk.
TEST(TraceLog, AWriteErrorStopsTheTraceAndIsSaid) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    QString error;
    auto log = TraceLog::open(path, "test", &error);
    ASSERT_TRUE(log);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size() + 100);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    for (int i = 0; i < 10; ++i) {
        log->bytes(TraceLog::Direction::Sent, "0123456789");
        log->flush();
    }
    const std::string said = testing::internal::GetCapturedStderr();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(log->stopped());
    EXPECT_EQ(log->writeError(), QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_EQ(said, "test: the trace stopped: cannot write to " + path.toStdString() + ": " +
                        std::strerror(EFBIG) + "\n");
}

// The real limit of 100 MB, met by a sparse file just under it; how the trace stops at its
// limit is the test above.
TEST(TraceLog, TheDefaultLimitIsOneHundredMegabytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(100LL * 1024 * 1024 - 1000));
    }
    QString error;
    auto log = TraceLog::open(path, "test", &error);
    ASSERT_TRUE(log);
    int written = 0;
    for (; written < 100 && !log->stopped(); ++written) {
        log->bytes(TraceLog::Direction::Sent, "0123456789");
        log->flush();
    }
    log.reset();
    EXPECT_LE(QFileInfo(path).size(), 100LL * 1024 * 1024);
    EXPECT_GT(QFileInfo(path).size(), 100LL * 1024 * 1024 - 200);
    EXPECT_GE(written, 5);
}

}  // namespace
}  // namespace tarvo::test
