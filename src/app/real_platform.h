#pragma once

#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/port_map.h"
#include "platform/trace_log.h"

namespace tarvo {

// How a run reaches the outside world.
struct PlatformOptions {
    // Device paths for ports in this run only.
    std::vector<PortMap::Override> ports;
    // A simulated board answers on every Com port and on USB.
    bool simulate = false;
    // The simulated board's kind: a kit report, an address on a multi-drop line.
    bool simulatedKit = false;
    std::optional<int> simulatedAddress;
    // Appends every byte sent and received to this file.
    QString tracePath;
    // The name the trace gives its writer.
    QString program = QStringLiteral("tarvo-config");
};

// The platform services of a real run, without the desktop dialogs (the window adds its
// message boxes and file chooser).
struct RealSetup {
    Platform platform;
    // Keeps the simulated board and the trace alive for the run, when there are ones.
    std::shared_ptr<void> simulation;
    std::shared_ptr<TraceLog> trace;
};

// Nothing when the simulated board or the trace cannot start; `error` then says why.
std::optional<RealSetup> makeRealPlatform(const PlatformOptions& options, QString* error);

}  // namespace tarvo
