#include "app/real_platform.h"

#include "drivers/pty_board.h"
#include "drivers/sim_usb_library.h"
#include "platform/libusb_library.h"
#include "platform/port_map.h"
#include "platform/qsettings_store.h"
#include "platform/qt_file_chooser.h"
#include "platform/qt_prompts.h"
#include "platform/qt_serial_line.h"

namespace tarvo {

namespace {

// A board model with its pty and its USB face, alive as long as the run.
struct Simulation {
    // A connect without a number reaches the board directly; a dialled one meets a modem
    // that answers "CONNECT 9600".
    static sim::BoardConfig config() {
        sim::BoardConfig c;
        c.modem = sim::ModemResult::Connect;
        c.modemOptional = true;
        // Like a real modem, it answers well after the program starts listening.
        c.modemDelayMs = 2500;
        return c;
    }
    sim::BoardModel model{config()};
    sim::PtyBoard pty{model};
    std::shared_ptr<sim::SimUsbLibrary> usb = std::make_shared<sim::SimUsbLibrary>(model);

    // Counting in cents, four test coins calibrate terminal 3 to 5, terminal 4 to 2 and the
    // others to 25.
    Simulation() {
        constexpr int kPulsesPerCoin[] = {1, 1, 5, 10, 1, 1};
        for (int i = 0; i < sim::kTerminals; ++i) {
            model.state().terminals[i].cents = true;
            model.state().terminals[i].pulsesPerCoin = kPulsesPerCoin[i];
        }
    }
};

}  // namespace

std::optional<RealSetup> makeRealPlatform(const QStringList& args, QString* error) {
    RealSetup setup;
    auto store = std::make_shared<QSettingsStore>();
    PortMap ports(store);
    bool simulate = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--simulate")) {
            simulate = true;
        } else if (arg == QLatin1String("--port") && i + 1 < args.size()) {
            if (!ports.addOverride(args[++i])) {
                *error = QStringLiteral("--port takes Com<n>=PATH with n from 1 to 32, not \"%1\"")
                             .arg(args[i]);
                return std::nullopt;
            }
        } else if (arg.startsWith(QLatin1String("--port="))) {
            if (!ports.addOverride(arg.mid(7))) {
                *error = QStringLiteral("--port takes Com<n>=PATH with n from 1 to 32, not \"%1\"")
                             .arg(arg.mid(7));
                return std::nullopt;
            }
        } else {
            *error = QStringLiteral("unknown argument \"%1\"").arg(arg);
            return std::nullopt;
        }
    }
    if (simulate) {
        auto simulation = std::make_shared<Simulation>();
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
    setup.platform.settings = store;
    setup.platform.prompts = std::make_shared<QtPrompts>();
    setup.platform.files = std::make_shared<QtFileChooser>();
    return setup;
}

}  // namespace tarvo
