// tarvo-audit: reads meter reports from the command line on the board session, with no
// window and no display.

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <utility>

#include <QTextStream>

#include "app/real_platform.h"
#include "audit/audit_command.h"
#include "audit/audit_runner.h"
#include "audit/history_command.h"
#include "audit/output.h"
#include "history/history_keeper.h"
#include "platform/qsettings_store.h"
#include "session/board_session.h"

namespace {

int signalPipe[2] = {-1, -1};
// How long Ctrl-C lets the command on the wire finish and the board be disconnected.
constexpr int kInterruptLimitMs = 1500;

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
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvo-audit"));

    const QStringList args = QCoreApplication::arguments();
    if (args.value(1) == QLatin1String("history")) {
        int status = 0;
        {
            QTextStream out(stdout);
            QTextStream err(stderr);
            status = tarvo::runHistoryCommand(
                args.mid(2), out, err,
                tarvo::QSettingsStore()
                    .value(QStringLiteral("History"), QStringLiteral("Database"))
                    .value_or(QString()));
        }
        return tarvo::finalStatus(status);
    }

    QString error;
    const auto command = tarvo::parseAuditCommand(args, &error);
    if (!command) {
        return usageError(error);
    }
    if (!command->printOnly.isEmpty()) {
        std::fputs(qPrintable(command->printOnly), stdout);
        return tarvo::finalStatus(0);
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
    auto prompts = std::make_shared<tarvo::StderrPrompts>();
    tarvo::BoardSession session(
        {setup->platform.serial, setup->platform.usb, prompts, setup->platform.tickIntervalMs});
    session.AddressBitDelay = tarvo::readStoredChoices(*store).addressBitDelay;
    // Kept here first, then sent to the central history the settings name, as the window does.
    tarvo::HistoryKeeper history(
        {setup->platform.historyPath, tarvo::MeterHistory::Damaged::MoveAside,
         setup->platform.clock,
         store->value(QStringLiteral("History"), QStringLiteral("Database")).value_or(QString())});
    bool historyProblemTold = false;
    history.onKept = [&historyProblemTold](const tarvo::HistoryKeeper::Kept& k) {
        if (!k.ok && !std::exchange(historyProblemTold, true)) {
            std::fprintf(stderr, "tarvo-audit: Meter history not kept: %s\n",
                         qPrintable(k.problem));
        }
    };

    const bool showProgress =
        plan->target == tarvo::AuditTarget::MultiDrop && ::isatty(STDERR_FILENO) == 1;
    tarvo::AuditRunner runner(session, setup->platform.clock);
    // What the history has to say goes to standard error; no one sees a response box.
    auto tell = [](const QString& text) {
        std::fprintf(stderr, "tarvo-audit: %s\n", qPrintable(text));
    };
    history.onNotice = tell;
    runner.keepIn(&history, tell);

    // Ctrl-C lets the command on the wire finish and disconnects the board, and what was read
    // so far is printed; if that takes longer than kInterruptLimitMs (or on a second Ctrl-C)
    // every wait ends at once. A server that stalls holds neither: the sending stops at once,
    // the unsent readings stay marked waiting.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(
            notifier, &QSocketNotifier::activated, &session, [&session, &runner, &history] {
                char c;
                [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
                history.stop();
                static bool once = false;
                if (std::exchange(once, true)) {
                    session.shutDown();
                    return;
                }
                runner.interrupt();
                QTimer::singleShot(kInterruptLimitMs, &session, [&session] { session.shutDown(); });
            });
    }

    std::vector<tarvo::MeterReading> readings;
    bool finished = false;
    QCoro::connect(runner.run(*plan,
                              [&](int address, int done, int left) {
                                  if (showProgress) {
                                      std::fprintf(stderr, "\r\033[Kaddress %d: %d done, %d left",
                                                   address, done, left);
                                  }
                              }),
                   &app, [&](std::vector<tarvo::MeterReading> read) {
                       readings = std::move(read);
                       finished = true;
                       QCoreApplication::exit(0);
                   });
    if (!finished) {
        QCoreApplication::exec();
    }
    if (showProgress) {
        std::fputs("\r\033[K", stderr);
    }
    const QString text = tarvo::formatReadings(readings, command->format, false);
    std::fputs(text.toUtf8().constData(), stdout);
    // The readings are out; what the history still does ends by itself, bounded, or at Ctrl-C.
    std::fflush(stdout);
    if (!history.idle()) {
        history.onIdle = [] { QCoreApplication::quit(); };
        QCoreApplication::exec();
    }
    if (history.waiting() > 0) {
        tell(QStringLiteral("%1 readings wait here for the central history (%2); they go with "
                            "the next reading or `tarvo-audit history --push`")
                 .arg(history.waiting())
                 .arg(history.centralProblem()));
    }
    bool failed = session.shuttingDown() || runner.interrupted();
    for (const auto& r : readings) {
        failed = failed || !r.error.isEmpty();
    }
    return tarvo::finalStatus(failed ? 1 : 0, setup->trace.get());
}
