#include <QTimer>
#include <utility>

#include "core/modem.h"
#include "platform/serial_line.h"
#include "session/board_session.h"

// The session's waits, its one operation at a time, terminal-mode keys and the modem. As in
// board_session.cpp, every co_await stands in a statement of its own (g++ 12).
namespace tarvo {

namespace {
constexpr int kDialSettleTicks = 3;
constexpr int kAnswerTicks = 60;
}  // namespace

// ---------------------------------------------------------------------------------------------
// Waits

void BoardSession::onTick() {
    ++TickCount;
    if (TickCount > 32000) {
        TickCount = 0;
    }
    wake();
}

void BoardSession::wake() {
    // A resumed wait that suspends again joins the next round, not this one.
    const std::vector<std::coroutine_handle<>> ready = std::exchange(waiters_, {});
    for (std::coroutine_handle<> h : ready) {
        h.resume();
    }
}

QCoro::Task<bool> BoardSession::waitUntil(std::function<bool()> done) {
    while (!stopping() && !done()) {
        co_await nextEvent();
    }
    co_return !stopping();
}

QCoro::Task<bool> BoardSession::waitTicks(int ticks) {
    TickCount = 0;
    std::function<bool()> counted = [this, ticks] { return TickCount >= ticks; };
    const bool reached = co_await waitUntil(std::move(counted));
    co_return reached;
}

QCoro::Task<bool> BoardSession::waitUntilFor(std::function<bool()> done, int ms) {
    bool over = false;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this, &over] {
        over = true;
        wake();
    });
    timer.start(ms);
    while (!stopping() && !over && !done()) {
        co_await nextEvent();
    }
    co_return !stopping();
}

QCoro::Task<bool> BoardSession::sleepMs(int ms, bool stoppable) {
    bool fired = false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, [this, &fired] {
        fired = true;
        wake();
    });
    timer.start(ms);
    while (!fired && !shutDown_ && !(stoppable && stopRequested_)) {
        co_await nextEvent();
    }
    co_return fired;
}

void BoardSession::shutDown() {
    shutDown_ = true;
    realTimer_->stop();
    // Every suspended wait returns now, and none suspends again.
    wake();
}

// ---------------------------------------------------------------------------------------------
// One operation at a time

BoardSession::Operation::Operation(Operation&& other) noexcept : session_(other.session_) {
    other.session_ = nullptr;
}

BoardSession::Operation::~Operation() {
    end();
}

void BoardSession::Operation::end() {
    if (BoardSession* s = std::exchange(session_, nullptr)) {
        s->finishOperation();
    }
}

BoardSession::Operation BoardSession::begin(const LinkOptions& link) {
    if (busy_ || shutDown_) {
        return Operation();
    }
    if (linkState_ == LinkState::Disconnected) {
        options_ = link;
    }
    busy_ = true;
    stopRequested_ = false;
    refusal_.clear();
    emit busyChanged(true);
    emit stateChanged();
    return Operation(this);
}

void BoardSession::finishOperation() {
    busy_ = false;
    stopRequested_ = false;
    emit busyChanged(false);
    emit stateChanged();
}

void BoardSession::requestStop() {
    if (busy_) {
        stopRequested_ = true;
        wake();
    }
}

void BoardSession::setLinkState(LinkState state) {
    if (linkState_ != state) {
        linkState_ = state;
        emit stateChanged();
    }
}

void BoardSession::setTerminalMode(bool on) {
    if (terminalMode_ != on) {
        terminalMode_ = on;
        emit stateChanged();
    }
}

bool BoardSession::sendKeys(const QByteArray& keys) {
    if (!terminalMode_ || Connected != 1) {
        return false;
    }
    if (keysRunning_) {
        // The running key operation sends them after the ones before.
        keys_.insert(keys_.end(), keys.begin(), keys.end());
        return true;
    }
    Operation op = begin();
    if (!op) {
        return false;
    }
    keys_.insert(keys_.end(), keys.begin(), keys.end());
    keysRunning_ = true;
    // Runs until its first wait (a multi-drop pause, a USB transfer) and then on its own.
    [](BoardSession* s, [[maybe_unused]] Operation held) -> QCoro::Task<> {
        while (!s->keys_.empty() && !s->stopping()) {
            const char byte = s->keys_.front();
            s->keys_.pop_front();
            // Over USB the board's answers are read only while a reply is expected.
            s->ExpectReply = true;
            co_await s->sendCommand(frames::keystroke(byte));
        }
        s->keys_.clear();
        s->keysRunning_ = false;
    }(this, std::move(op));
    return true;
}

// ---------------------------------------------------------------------------------------------
// The modem

QCoro::Task<bool> BoardSession::dial() {
    modemFailure_.clear();
    // Raw on the port: the modem is not the board, so no framing and no address bytes.
    services_.serial->write(frames::dialString(PhoneNumber));
    const bool settled = co_await waitTicks(kDialSettleTicks);
    if (!settled) {
        modemFailure_ = QString::fromLatin1(kModemNoAnswer);
        co_return false;
    }
    const QString word = co_await WaitForConnect();
    if (word == QLatin1String(kModemSuccess)) {
        co_return true;
    }
    modemFailure_ = word;
    co_return false;
}

QCoro::Task<QString> BoardSession::WaitForConnect() {
    RxCount = 0;
    TickCount = 0;
    clearText();
    for (;;) {
        if (TickCount >= kAnswerTicks) {
            co_return QString::fromLatin1(kModemNoAnswer);
        }
        const int16_t received = RxCount;
        const int16_t ticks = TickCount;
        std::function<bool()> moved = [&] { return RxCount != received || TickCount != ticks; };
        const bool waited = co_await waitUntil(std::move(moved));
        if (!waited) {
            co_return QString::fromLatin1(kModemNoAnswer);  // stopped or shutting down
        }
        if (auto word = modemResult(text_, RxCount)) {
            co_return *word;
        }
    }
}

}  // namespace tarvo
