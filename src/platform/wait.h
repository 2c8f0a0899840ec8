#pragma once

#include <functional>

namespace tarvo {

// The one way the program waits: it sleeps in the event loop until an event arrives and
// re-checks, so timer ticks, received characters and clicks run meanwhile and no core spins.
namespace wait {

// Returns true when `done` holds, false when the wait was abandoned because the program is
// shutting down (the caller then returns without touching its window further).
bool until(const std::function<bool()>& done);

// Runs the events that are already pending, without sleeping.
void yieldOnce();

// Ends every wait now running and every later one; called when the program shuts down.
void abandonAll();
bool abandoned();
// For tests that start a fresh window after a shut-down.
void reset();

}  // namespace wait
}  // namespace tarvo
