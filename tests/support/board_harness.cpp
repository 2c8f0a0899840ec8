#include "support/board_harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "platform/port_map.h"

namespace tarvo::test {

BoardHarness::BoardHarness(sim::BoardConfig config,
                           const std::function<void(SettingsStore&)>& preset, int tickIntervalMs)
    : model_(config), tickIntervalMs_(tickIntervalMs) {
    pty_ = std::make_unique<sim::PtyBoard>(model_);
    pty_->setReplyClock([this] { return boardClockMs_; });
    QString error;
    if (!pty_->open(&error)) {
        throw std::runtime_error(("cannot open a pseudo-terminal: " + error).toStdString());
    }
    usb_ = std::make_shared<sim::SimUsbLibrary>(model_);
    // Every harness starts from an empty store in the test's own configuration home.
    QFile::remove(QSettingsStore().fileName());
    settings_ = std::make_shared<QSettingsStore>();
    if (preset) {
        preset(*settings_);
    }
    PortMap ports(settings_);
    ports.setOverride(1, pty_->slavePath());
    serial_ = std::make_shared<CountingLine>(ports);
    serial_->opening = [this] { boardReceived_ = boardSent_ = programReceived_ = 0; };
    QObject::connect(pty_.get(), &sim::PtyBoard::bytesReceived,
                     [this](const QByteArray& bytes) { boardReceived_ += bytes.size(); });
    QObject::connect(pty_.get(), &sim::PtyBoard::bytesSent,
                     [this](qint64 count) { boardSent_ += count; });
    QObject::connect(serial_.get(), &SerialLine::charReceived, [this] { ++programReceived_; });
    window_ = std::make_unique<RetreiveAccountingApp>(Platform{.serial = serial_,
                                                               .usb = usb_,
                                                               .settings = settings_,
                                                               .prompts = prompts_,
                                                               .files = files_,
                                                               .tickIntervalMs = tickIntervalMs,
                                                               .historyPath = historyPath()});
    for (const char* name : {"Timer1", "Timer2"}) {
        auto* timer = window_->session().findChild<QTimer*>(QString::fromLatin1(name));
        if (!timer) {
            throw std::runtime_error(std::string("the session has no coarse timer ") + name);
        }
        timer->installEventFilter(&gate_);
    }
    window_->show();
}

BoardHarness::~BoardHarness() {
    window_->close();
    window_.reset();
    pty_->close();
}

bool BoardHarness::connect() {
    window_->Connect->click();
    idle();
    return window_->Connect->text() == QStringLiteral("Disconnect") &&
           window_->session().Connected == 1;
}

bool BoardHarness::idle() {
    return QTest::qWaitFor([this] { return !window_->session().busy(); }, 20000);
}

bool BoardHarness::waitFor(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

bool BoardHarness::CountingLine::open() {
    written = 0;
    if (opening) {
        opening();
    }
    return QtSerialLine::open();
}

void BoardHarness::CountingLine::write(const QByteArray& bytes) {
    if (isOpen()) {
        written += bytes.size();
    }
    QtSerialLine::write(bytes);
}

bool BoardHarness::lineCaughtUp() const {
    return boardReceived_ >= serial_->written && programReceived_ >= boardSent_;
}

bool BoardHarness::TickGate::eventFilter(QObject* timer, QEvent* event) {
    if (event->type() != QEvent::Timer) {
        return false;
    }
    BoardHarness& h = h_;
    if (!h.lineCaughtUp() || !h.pty_->caughtUp()) {
        if (!heldSince_.isValid()) {
            heldSince_.start();
        }
        if (heldSince_.elapsed() < 5000) {
            return true;  // swallowed: this tick has not passed
        }
    }
    heldSince_.invalidate();
    if (timer->objectName() == QLatin1String("Timer1")) {
        h.boardClockMs_ += h.tickIntervalMs_;
        h.pty_->sendDue();
    }
    return false;
}

void BoardHarness::settle(int quietMs) {
    // Idle at two looks with the event loop turned between them, and for `quietMs`.
    QElapsedTimer idleFor;
    waitFor(
        [&] {
            if (!lineCaughtUp() || !pty_->idle()) {
                idleFor.invalidate();
                return false;
            }
            if (!idleFor.isValid()) {
                idleFor.start();
                return false;
            }
            return idleFor.elapsed() >= quietMs;
        },
        10000);
}

}  // namespace tarvo::test
