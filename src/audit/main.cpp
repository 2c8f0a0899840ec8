// tarvo-audit: reads meter reports from the command line through the window's own handlers,
// with no window on screen.

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include <QTextStream>

#include "accounting/meter_history_view.h"
#include "app/real_platform.h"
#include "audit/audit_command.h"
#include "audit/audit_runner.h"
#include "history/meter_history.h"
#include "platform/qsettings_store.h"
#include "shell/main_window.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

int usageError(const QString& why) {
    std::fprintf(stderr, "tarvo-audit: %s\n%s", qPrintable(why), tarvo::kAuditUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // The window is built but never shown; no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarvo-audit"));
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList args = QApplication::arguments();
    if (args.value(1) == QLatin1String("history")) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return tarvo::runHistoryCommand(
            args.mid(2), out, err,
            tarvo::QSettingsStore()
                .value(QStringLiteral("History"), QStringLiteral("Database"))
                .value_or(QString()));
    }

    QString error;
    const auto command = tarvo::parseAuditCommand(args, &error);
    if (!command) {
        return usageError(error);
    }
    if (command->help) {
        std::fputs(tarvo::kAuditUsage, stdout);
        return 0;
    }
    auto store = std::make_shared<tarvo::QSettingsStore>();
    const auto plan = command->plan(tarvo::readStoredChoices(*store), &error);
    if (!plan) {
        return usageError(error);
    }

    tarvo::PlatformOptions options;
    options.program = QStringLiteral("tarvo-audit");
    options.tracePath = command->tracePath;
    options.simulate = command->simulate;
    options.simulatedKit = plan->target == tarvo::AuditTarget::Kit;
    if (plan->target == tarvo::AuditTarget::MultiDrop) {
        // The simulated board answers at the first address of the bus only.
        options.simulatedAddress = plan->addresses.front();
    }
    if (!plan->devicePath.isEmpty()) {
        options.ports.push_back({plan->interfacePosition + 1, plan->devicePath});
    }
    auto setup = tarvo::makeRealPlatform(options, &error);
    if (!setup) {
        std::fprintf(stderr, "tarvo-audit: %s\n", qPrintable(error));
        return 2;
    }
    setup->platform.settings = std::make_shared<tarvo::UnsavedSettingsStore>(store);
    setup->platform.prompts = std::make_shared<tarvo::StderrPrompts>();
    setup->platform.files = std::make_shared<tarvo::NoFileChooser>();
    tarvo::RetreiveAccountingApp window(setup->platform);
    // Every board read is kept in the meter history by the window's own View Info; what the
    // history has to say goes to standard error, since no one sees the response box.
    window.meterHistory().tellUser = [](const QString& text) {
        std::fprintf(stderr, "tarvo-audit: %s\n", qPrintable(text));
    };

    // Ctrl-C ends the wait in progress the way closing the window does: the board is
    // disconnected and what was read so far is printed.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char c;
            [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
            window.close();
        });
    }

    const bool showProgress =
        plan->target == tarvo::AuditTarget::MultiDrop && ::isatty(STDERR_FILENO) == 1;
    tarvo::AuditRunner runner(window);
    const auto readings = runner.run(*plan, [&](int address, int done, int left) {
        if (showProgress) {
            std::fprintf(stderr, "\r\033[Kaddress %d: %d done, %d left", address, done, left);
        }
    });
    if (showProgress) {
        std::fputs("\r\033[K", stderr);
    }
    // The last reading is written to the history after its handler returned: let it land.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    const QString text = tarvo::formatReadings(readings, command->format, false);
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
    bool failed = window.closing();
    for (const auto& r : readings) {
        failed = failed || !r.error.isEmpty();
    }
    return failed ? 1 : 0;
}
