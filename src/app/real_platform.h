#pragma once

#include <QStringList>
#include <memory>
#include <optional>

#include "platform/platform.h"

namespace tarvo {

// The platform services of a real run, from the command line:
//   --port Com<n>=PATH   use PATH for port n in this run (repeatable)
//   --simulate           a simulated board answers on every Com port and on USB
struct RealSetup {
    Platform platform;
    // Keeps the simulated board alive for the run, when there is one.
    std::shared_ptr<void> simulation;
};

// Nothing when the arguments are wrong; `error` then says why.
std::optional<RealSetup> makeRealPlatform(const QStringList& args, QString* error);

}  // namespace tarvo
