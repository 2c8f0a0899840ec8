#include "support/session_fixture.h"

#include "session/board_operations.h"

namespace tarvo::test {

SessionFixture::SessionFixture(LinkOptions options, int tickIntervalMs)
    : session({serial, usb, prompts, tickIntervalMs}), options(options) {
    if (options.usb()) {
        usb->present.insert(0x4000);
    }
}

bool SessionFixture::connect() {
    auto op = begin();
    const bool connected = op && done(board::connect(session)).connected;
    forgetSent();
    return connected && session.Connected == 1;
}

void SessionFixture::forgetSent() {
    serial->clearSent();
    serial->events.clear();
    usb->calls.clear();
}

LinkOptions multiDropAt(const QString& address) {
    LinkOptions options;
    options.target = Target::MultiDrop;
    options.multiDropAddress = address;
    return options;
}

}  // namespace tarvo::test
