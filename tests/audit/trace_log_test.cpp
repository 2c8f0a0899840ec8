#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/trace_log.h"
#include "support/fake_serial_line.h"
#include "support/qstring_printer.h"

namespace tarvo::test {
namespace {

QStringList linesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
               : QStringList{};
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
    EXPECT_EQ(heard, QByteArray("OK\r"));
    EXPECT_EQ(fake->sentBytes(), "\x07\x03\x1b\x41\x05");

    log->flush();  // the last group of sent bytes is written when the next event comes
    const QStringList lines = linesOf(path);
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains("trace of test started"));
    EXPECT_TRUE(lines[1].contains("open Com1"));
    EXPECT_EQ(lines[2].mid(24), "TX ADDR 07  |.|");  // after the time stamp
    EXPECT_EQ(lines[3].mid(24), "TX      03 1B 41  |..A|");
    EXPECT_EQ(lines[4].mid(24), "RX      4F 4B 0D  |OK.|");
    EXPECT_EQ(lines[5].mid(24), "TX      05  |.|");
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

}  // namespace
}  // namespace tarvo::test
