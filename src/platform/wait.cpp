#include "platform/wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>

namespace tarvo::wait {
namespace {
std::atomic<bool> g_abandoned{false};
}

bool until(const std::function<bool()>& done) {
    while (!done()) {
        if (g_abandoned || QCoreApplication::closingDown()) {
            return false;
        }
        // Sleeps until at least one event arrives; the caller's condition can only change
        // through an event (a tick, a received character, a click).
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return !g_abandoned;
}

void yieldOnce() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void abandonAll() {
    g_abandoned = true;
}
bool abandoned() {
    return g_abandoned;
}
void reset() {
    g_abandoned = false;
}

}  // namespace tarvo::wait
