#pragma once

#include <QCoro/QCoroTask>
#include <memory>

#include "session/board_operations.h"
#include "session/board_session.h"
#include "support/fake_prompts.h"
#include "support/fake_serial_line.h"
#include "support/fake_usb_library.h"

namespace tarvo::test {

// A board session on the recording serial and USB doubles, with no window; its timers tick
// every few milliseconds.
class SessionFixture {
  public:
    explicit SessionFixture(LinkOptions options = {}, int tickIntervalMs = 2)
        : session({serial, usb, prompts, tickIntervalMs}), options(options) {
        if (options.usb()) {
            usb->present.insert(0x4000);
        }
        QObject::connect(&session, &BoardSession::statusMessage,
                         [this](const QString& s) { statuses << s; });
    }

    // Opens the link as Connect does (a board that answers the probe at once); true when
    // connected. What connecting sent and showed is forgotten.
    bool connect() {
        auto op = begin();
        const bool connected = op && QCoro::waitFor(board::connect(session)).connected;
        forgetSent();
        return connected && session.Connected == 1;
    }
    // An operation on this fixture's link.
    BoardSession::Operation begin() { return session.begin(options); }
    void forgetSent() {
        serial->sent.clear();
        serial->events.clear();
        usb->calls.clear();
        statuses.clear();
    }

    std::shared_ptr<FakeSerialLine> serial = std::make_shared<FakeSerialLine>();
    std::shared_ptr<FakeUsbLibrary> usb = std::make_shared<FakeUsbLibrary>();
    std::shared_ptr<FakePrompts> prompts = std::make_shared<FakePrompts>();
    QStringList statuses;  // the status lines the session showed; outlives the session
    BoardSession session;
    LinkOptions options;
};

// Runs a coroutine of the session to its end in the event loop and gives its result.
template <typename T>
T done(QCoro::Task<T>&& task) {
    return QCoro::waitFor(std::move(task));
}

// Options for a multi-drop line at `address` (as the list shows it, " 5").
inline LinkOptions multiDropAt(const QString& address) {
    LinkOptions options;
    options.target = Target::MultiDrop;
    options.multiDropAddress = address;
    return options;
}

}  // namespace tarvo::test
