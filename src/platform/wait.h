#pragma once

#include <functional>

namespace tarvo {

// The one way the program waits: it sleeps in the event loop until an event arrives and
// re-checks, so timer ticks, received characters and clicks run meanwhile and no core spins.
namespace wait {

// Returns true when `done` holds, false when the application is shutting down (the caller
// then returns without touching its window further).
bool until(const std::function<bool()>& done);

// Runs the events that are already pending, without sleeping.
void yieldOnce();

}  // namespace wait
}  // namespace tarvo
