#include "support/session_fixture.h"

#include "session/board_operations.h"

namespace tarvo::test {

SessionFixture::SessionFixture(LinkOptions options, int tickIntervalMs)
    : session({serial, usb, prompts, tickIntervalMs}) {
    if (options.usb()) {
        usb->present.insert(0x4000);
    }
    session.setOptions(options);
}

bool SessionFixture::connect() {
    auto op = session.begin();
    const bool connected = op && board::connect(session).connected;
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
