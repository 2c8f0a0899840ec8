#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <memory>
#include <utility>

#include "platform/qt_serial_line.h"

namespace tarvo {
namespace {

using namespace std::chrono_literals;

// The board's end of a pseudo-terminal; the line opens the other end as Com5.
struct Pty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QString slavePath = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
                            ? QString::fromLocal8Bit(::ptsname(master))
                            : QString();

    ~Pty() { closeMaster(); }
    void closeMaster() {
        if (master >= 0) {
            ::close(std::exchange(master, -1));
        }
    }
    void write(const QByteArray& bytes) {
        ASSERT_EQ(::write(master, bytes.constData(), bytes.size()), bytes.size());
    }
    // Reads until `count` bytes came; ten seconds at most.
    QByteArray read(int count) {
        QByteArray out;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            char buf[512];
            ssize_t n = 0;
            if (::poll(&p, 1, 50) > 0 && (n = ::read(master, buf, sizeof buf)) > 0) {
                out.append(buf, n);
            }
        }
        return out;
    }
};

constexpr int kPort = 5;

std::unique_ptr<QtSerialLine> lineOn(const QString& path) {
    PortMap map;
    map.setOverride(kPort, path);
    auto line = std::make_unique<QtSerialLine>(map);
    line->setPortNumber(kPort);
    return line;
}

class QtSerialLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.slavePath.isEmpty());
        line = lineOn(pty.slavePath);
        QObject::connect(line.get(), &SerialLine::charReceived,
                         [this](char c) { received.append(c); });
        QObject::connect(line.get(), &SerialLine::lineLost, [this](const QString& why) {
            ++lost;
            lostReason = why;
        });
        ASSERT_TRUE(line->open()) << line->lastError().toStdString();
    }

    Pty pty;
    std::unique_ptr<QtSerialLine> line;
    QByteArray received;
    int lost = 0;
    QString lostReason;
};

TEST_F(QtSerialLineTest, EveryByteValueTravelsBothWaysInOrder) {
    QByteArray all;
    for (int i = 0; i < 256; ++i) {
        all.append(static_cast<char>(i));
        line->write(all.right(1));
    }
    line->drain();
    EXPECT_EQ(pty.read(all.size()), all);
    pty.write(all);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= all.size(); }, 10000));
    EXPECT_EQ(received, all);

    line->close();
    EXPECT_FALSE(line->isOpen());
    ASSERT_TRUE(line->open()) << "opens again after close: " << line->lastError().toStdString();
    pty.write("z");
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.endsWith('z'); }, 10000));
}

TEST_F(QtSerialLineTest, DrainEmptiesTheBufferWithoutRunningTheEventLoop) {
    bool eventRan = false;
    QTimer::singleShot(0, [&] { eventRan = true; });
    pty.write("abc");
    line->write(QByteArray(3000, 'x'));
    EXPECT_GE(line->outBufferCount(), 3000);
    line->drain();
    EXPECT_EQ(line->outBufferCount(), 0);
    EXPECT_FALSE(eventRan);
    EXPECT_TRUE(received.isEmpty()) << "a receiver ran inside drain()";
    EXPECT_EQ(pty.read(3000).size(), 3000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == "abc"; }, 10000));
}

// The receive path runs the event loop after each character; bytes that come in meanwhile
// must queue behind the rest, none lost or overtaking.
TEST_F(QtSerialLineTest, ReceiverThatRunsTheEventLoopStillGetsEverythingInOrder) {
    QByteArray nested;
    QObject::connect(line.get(), &SerialLine::charReceived, [&](char c) {
        nested.append(c);
        if (nested.size() == 1) {
            pty.write("0123456789");
            ::usleep(20000);
        }
        QCoreApplication::processEvents();
    });
    pty.write("abcdefghij");
    EXPECT_TRUE(QTest::qWaitFor([&] { return nested.size() >= 20; }, 10000));
    EXPECT_EQ(nested, "abcdefghij0123456789");
}

// Qt clears the marking on every parity change; a marked FF 00 that reached the decoder
// unmarked would turn into a parity error.
TEST_F(QtSerialLineTest, MarkedBytesSurviveEveryParitySwitch) {
    const QByteArray tricky("\xFF\x00\x41\xFF\xFF", 5);
    for (const char* s : {"9600,M,8,1", "9600,S,8,1", "9600,E,8,1", "9600,O,8,1", "9600,N,8,1"}) {
        received.clear();
        ASSERT_TRUE(line->setSettings(QString::fromLatin1(s)));
        pty.write(tricky);
        EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= tricky.size(); }, 10000)) << s;
        EXPECT_EQ(received, tricky) << s;
    }
    EXPECT_FALSE(line->setSettings("9600,X,8,1"));
    EXPECT_EQ(line->settings(), "9600,N,8,1");
}

TEST_F(QtSerialLineTest, HangUpClosesOnceAndDoesNotSpin) {
    pty.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost > 0; }, 10000));
    EXPECT_FALSE(line->isOpen());
    EXPECT_TRUE(lostReason.contains(pty.slavePath)) << lostReason.toStdString();

    const std::clock_t before = std::clock();  // processor time of all the process's threads
    QTest::qWait(400);
    EXPECT_LT(double(std::clock() - before) / CLOCKS_PER_SEC, 0.15)
        << "the event loop spun after the hang-up";
    EXPECT_EQ(lost, 1);
}

TEST(QtSerialLineOpen, FailedOpensSayWhy) {
    Pty pty;
    auto first = lineOn(pty.slavePath);
    ASSERT_TRUE(first->open());
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const std::pair<QString, const char*> cases[] = {
        {"/dev/tarvo-no-such-port", "does not exist"},   {"/dev/null", "is not a serial device"},
        {file.fileName(), "is not a serial device"},     {"/tmp", "is not a serial device"},
        {pty.slavePath, "is in use by another program"},
    };
    for (const auto& [path, words] : cases) {
        auto line = lineOn(path);
        EXPECT_FALSE(line->open()) << path.toStdString();
        EXPECT_FALSE(line->isOpen());
        const QString error = line->lastError();
        EXPECT_TRUE(error.contains(QLatin1String(words)) && error.contains(path))
            << error.toStdString();
    }
}

}  // namespace
}  // namespace tarvo
