#include "app/real_platform.h"

#include "drivers/pty_board.h"
#include "drivers/sim_usb_library.h"
#include "platform/libusb_library.h"
#include "platform/qsettings_store.h"
#include "platform/qt_serial_line.h"
#include "platform/trace_log.h"

namespace tarvo {

namespace {

// A board model with its pty and its USB face, alive as long as the run.
struct Simulation {
    // A connect without a number reaches the board directly; a dialled one meets a modem
    // that answers "CONNECT 9600".
    static sim::BoardConfig withModem(sim::BoardConfig c) {
        c.modem = sim::ModemResult::Connect;
        c.modemOptional = true;
        // Like a real modem, it answers well after the program starts listening.
        c.modemDelayMs = 2500;
        return c;
    }
    sim::BoardModel model;
    sim::PtyBoard pty{model};
    std::shared_ptr<sim::SimUsbLibrary> usb = std::make_shared<sim::SimUsbLibrary>(model);

    // Counting in cents, four test coins calibrate terminal 3 to 5, terminal 4 to 2 and the
    // others to 25.
    explicit Simulation(const sim::BoardConfig& config) : model(withModem(config)) {
        constexpr int kPulsesPerCoin[] = {1, 1, 5, 10, 1, 1};
        for (int i = 0; i < sim::kTerminals; ++i) {
            model.state().terminals[i].cents = true;
            model.state().terminals[i].pulsesPerCoin = kPulsesPerCoin[i];
        }
    }
};

}  // namespace

std::optional<RealSetup> makeRealPlatform(const PlatformOptions& options, QString* error) {
    RealSetup setup;
    auto store = std::make_shared<QSettingsStore>();
    PortMap ports(store);
    for (const PortMap::Override& o : options.ports) {
        ports.setOverride(o.port, o.path);
    }
    if (options.simulate) {
        sim::BoardConfig config;
        config.kit = options.simulatedKit;
        config.multiDropAddress = options.simulatedAddress;
        auto simulation = std::make_shared<Simulation>(config);
        QString why;
        if (!simulation->pty.open(&why)) {
            *error = QStringLiteral("cannot start the simulated board: %1").arg(why);
            return std::nullopt;
        }
        for (int port = PortMap::kFirstPort; port <= PortMap::kLastPort; ++port) {
            ports.setOverride(port, simulation->pty.slavePath());
        }
        setup.platform.usb = simulation->usb;
        setup.simulation = simulation;
    } else {
        setup.platform.usb = LibusbLibrary::create();
    }
    setup.platform.serial = std::make_shared<QtSerialLine>(ports);
    if (!options.tracePath.isEmpty()) {
        auto trace = TraceLog::open(options.tracePath, options.program, error);
        if (!trace) {
            return std::nullopt;
        }
        setup.platform.serial = std::make_shared<TracingSerialLine>(setup.platform.serial, trace);
        if (setup.platform.usb) {
            setup.platform.usb = std::make_shared<TracingUsbLibrary>(setup.platform.usb, trace);
        }
        setup.trace = trace;
    }
    setup.platform.settings = store;
    return setup;
}

}  // namespace tarvo
