#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryFile>
#include <QTimer>
#include <chrono>
#include <memory>

#include "platform/qt_serial_line.h"
#include "platform/wait.h"

namespace tarvo {
namespace {

using namespace std::chrono_literals;

// The board's end of a pseudo-terminal; the line opens the other end as Com5.
class Pty {
  public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slave_ = QString::fromLocal8Bit(::ptsname(master_));
        }
    }
    ~Pty() { closeMaster(); }
    const QString& slavePath() const { return slave_; }
    void write(const QByteArray& bytes) {
        ASSERT_EQ(::write(master_, bytes.constData(), bytes.size()), bytes.size());
    }
    // Reads until `count` bytes came or a second passed.
    QByteArray read(int count) {
        QByteArray out;
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                char buf[512];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) {
                    out.append(buf, n);
                }
            }
        }
        return out;
    }
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

  private:
    int master_ = -1;
    QString slave_;
};

constexpr int kPort = 5;

std::unique_ptr<QtSerialLine> lineOn(const QString& path) {
    PortMap map;
    EXPECT_TRUE(map.addOverride(QStringLiteral("Com%1=%2").arg(kPort).arg(path)));
    auto line = std::make_unique<QtSerialLine>(map);
    line->setPortNumber(kPort);
    return line;
}

// Runs the event loop until `done` or the time-out; true when `done` held.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 2s) {
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] { timedOut = true; });
    timer.start(timeout);
    wait::until([&] { return done() || timedOut; });
    return done();
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QByteArray allByteValues() {
    QByteArray all;
    for (int i = 0; i < 256; ++i) {
        all.append(static_cast<char>(i));
    }
    return all;
}

class QtSerialLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wait::reset();
        ASSERT_FALSE(pty.slavePath().isEmpty());
        line = lineOn(pty.slavePath());
        QObject::connect(line.get(), &SerialLine::charReceived,
                         [this](char c) { received.append(c); });
        QObject::connect(line.get(), &SerialLine::lineLost, [this](const QString& why) {
            ++lost;
            lostReason = why;
        });
    }

    Pty pty;
    std::unique_ptr<QtSerialLine> line;
    QByteArray received;
    int lost = 0;
    QString lostReason;
};

TEST_F(QtSerialLineTest, BytesWrittenArriveAtTheBoardInOrder) {
    ASSERT_TRUE(line->open()) << line->lastError().toStdString();
    EXPECT_EQ(line->devicePath(kPort), pty.slavePath());
    const QByteArray all = allByteValues();
    for (char c : all) {
        line->write(QByteArray(1, c));
    }
    line->drain();
    EXPECT_EQ(pty.read(all.size()), all);
}

TEST_F(QtSerialLineTest, DrainEmptiesTheBufferWithoutRunningTheEventLoop) {
    ASSERT_TRUE(line->open());
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
    EXPECT_TRUE(waitFor([&] { return received == "abc"; }));
}

TEST_F(QtSerialLineTest, EveryByteValueArrivesAsOneCharInOrder) {
    ASSERT_TRUE(line->open());
    const QByteArray all = allByteValues();
    pty.write(all);
    EXPECT_TRUE(waitFor([&] { return received.size() >= all.size(); }));
    EXPECT_EQ(received, all);
}

// The receive path runs the event loop after each character; bytes that come in meanwhile
// must queue behind the rest, none lost or overtaking.
TEST_F(QtSerialLineTest, ReceiverThatRunsTheEventLoopStillGetsEverythingInOrder) {
    ASSERT_TRUE(line->open());
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
    EXPECT_TRUE(waitFor([&] { return nested.size() >= 20; }));
    EXPECT_EQ(nested, "abcdefghij0123456789");
}

// Qt clears the marking on every parity change; a marked FF 00 that reached the decoder
// unmarked would turn into a parity error.
TEST_F(QtSerialLineTest, MarkedBytesSurviveEveryParitySwitch) {
    ASSERT_TRUE(line->open());
    const QByteArray tricky(
        "\xFF\x00"
        "A\xFF\xFF",
        5);
    for (const char* s : {"9600,M,8,1", "9600,S,8,1", "9600,E,8,1", "9600,O,8,1", "9600,N,8,1"}) {
        received.clear();
        ASSERT_TRUE(line->setSettings(QString::fromLatin1(s)));
        EXPECT_EQ(line->settings(), QString::fromLatin1(s));
        pty.write(tricky);
        EXPECT_TRUE(waitFor([&] { return received.size() >= tricky.size(); })) << s;
        EXPECT_EQ(received, tricky) << s;
    }
}

TEST_F(QtSerialLineTest, RejectsSettingsTextThatIsNotOne) {
    ASSERT_TRUE(line->setSettings("9600,S,8,1"));
    for (const char* bad : {"", "9600", "9600,X,8,1", "9600,N,9,1", "fast,N,8,1"}) {
        EXPECT_FALSE(line->setSettings(QString::fromLatin1(bad))) << bad;
        EXPECT_EQ(line->settings(), "9600,S,8,1");
    }
}

TEST_F(QtSerialLineTest, HangUpClosesOnceAndDoesNotSpin) {
    ASSERT_TRUE(line->open());
    pty.closeMaster();
    ASSERT_TRUE(waitFor([&] { return lost > 0; }));
    EXPECT_FALSE(line->isOpen());
    EXPECT_TRUE(lostReason.contains(pty.slavePath())) << lostReason.toStdString();

    const double before = cpuSeconds();
    bool over = false;
    QTimer::singleShot(400, [&] { over = true; });
    wait::until([&] { return over; });
    EXPECT_LT(cpuSeconds() - before, 0.15) << "the event loop spun after the hang-up";
    EXPECT_EQ(lost, 1);
}

TEST_F(QtSerialLineTest, OpensAgainAfterClose) {
    ASSERT_TRUE(line->open());
    line->close();
    EXPECT_FALSE(line->isOpen());
    ASSERT_TRUE(line->open()) << line->lastError().toStdString();
    pty.write("z");
    EXPECT_TRUE(waitFor([&] { return received == "z"; }));
}

struct FailedOpen {
    const char* name;
    std::function<QString(Pty&, std::vector<std::unique_ptr<QObject>>&)> prepare;
    const char* words;
};

TEST(QtSerialLineOpen, FailedOpensSayWhy) {
    const std::vector<FailedOpen> cases = {
        {"missing", [](Pty&, auto&) { return QStringLiteral("/dev/tarvo-no-such-port"); },
         "does not exist"},
        {"dev_null", [](Pty&, auto&) { return QStringLiteral("/dev/null"); },
         "is not a serial device"},
        {"regular_file",
         [](Pty&, auto& keep) {
             auto* f = new QTemporaryFile;
             f->open();
             keep.emplace_back(f);
             return f->fileName();
         },
         "is not a serial device"},
        {"directory", [](Pty&, auto&) { return QStringLiteral("/tmp"); }, "is not a serial device"},
        {"busy",
         [](Pty& pty, auto& keep) {
             auto first = lineOn(pty.slavePath());
             EXPECT_TRUE(first->open());
             keep.push_back(std::move(first));
             return pty.slavePath();
         },
         "is in use by another program"},
    };
    for (const auto& c : cases) {
        Pty pty;
        std::vector<std::unique_ptr<QObject>> keep;
        const QString path = c.prepare(pty, keep);
        auto line = lineOn(path);
        EXPECT_FALSE(line->open()) << c.name;
        EXPECT_FALSE(line->isOpen()) << c.name;
        EXPECT_TRUE(line->lastError().contains(QLatin1String(c.words)))
            << c.name << ": " << line->lastError().toStdString();
        EXPECT_TRUE(line->lastError().contains(path)) << c.name;
    }
}

}  // namespace
}  // namespace tarvo
