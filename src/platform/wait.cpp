#include "platform/wait.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace tarvo::wait {

bool until(const std::function<bool()>& done) {
    while (!done()) {
        if (QCoreApplication::closingDown()) {
            return false;
        }
        // Sleeps until at least one event arrives; the caller's condition can only change
        // through an event (a tick, a received character, a click).
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void yieldOnce() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace tarvo::wait
