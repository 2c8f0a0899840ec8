// The board behind a real pseudo-terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include "drivers/pty_board.h"

namespace tarvo::sim {
namespace {

// Writes `bytes` to the slave and runs the event loop until `want` bytes came back or three
// seconds passed.
QByteArray exchange(int fd, const QByteArray& bytes, int want) {
    EXPECT_EQ(::write(fd, bytes.constData(), bytes.size()), bytes.size());
    QByteArray got;
    QEventLoop loop;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) {
            got.append(buf, n);
        }
        if (got.size() >= want) {
            loop.quit();
        }
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a bound, not a pace
    loop.exec();
    return got;
}

TEST(PtyBoard, AnswersOverARealPseudoTerminal) {
    int argc = 1;
    char name[] = "test_sim";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    BoardModel model;
    PtyBoard board(model);
    QString error;
    ASSERT_TRUE(board.open(&error)) << error.toStdString();
    const QString link = QDir::temp().filePath(QStringLiteral("tarvo-sim-test-%1").arg(getpid()));
    ASSERT_TRUE(board.setLink(link, &error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), board.slavePath());

    // Plain POSIX, as a serial layer would; the board has made the line raw already.
    const int fd = ::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const QByteArray report = exchange(fd, "\x05\x80\x81\x81", 1300);
    EXPECT_TRUE(report.startsWith("TARVO BOARD READY\r\n"));
    EXPECT_TRUE(report.contains("  SERIAL # TB104217\r\n"));

    // The status fields of a coin come out one by one, after their delays, in order.
    const QByteArray field("\x1b/\x07\x01.....\r\n");
    const QByteArray fields = exchange(fd, QByteArray("\x1dTM1\xC8\x00", 6), 4 * field.size());
    EXPECT_EQ(fields, field.repeated(4));
    EXPECT_EQ(model.state().terminals[0].received, 4);

    // Closing and opening the program's side again is the reconnect of the end-to-end
    // parameter write. Unplugged: the slave sees the line go away and the link is gone.
    board.close();
    char c;
    EXPECT_LE(::read(fd, &c, 1), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    ::close(fd);
    EXPECT_TRUE(model.protocolErrors().isEmpty()) << model.trace().join(" / ").toStdString();
}

}  // namespace
}  // namespace tarvo::sim
