// tarvo-board-sim: a Tarvo Board behind a pseudo-terminal, for working without hardware.

#include <fcntl.h>
#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "drivers/pty_board.h"
#include "model/board_model.h"

using namespace tarvo::sim;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

[[noreturn]] void usageError(const QString& message) {
    std::fprintf(stderr, "tarvo-board-sim: %s\n", qPrintable(message));
    std::exit(2);
}

int number(const QCommandLineParser& p, const QString& name, int lo, int hi) {
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < lo || v > hi) {
        usageError(QStringLiteral("--%1 needs a number from %2 to %3").arg(name).arg(lo).arg(hi));
    }
    return v;
}

BoardConfig configFrom(const QCommandLineParser& p) {
    BoardConfig c;
    c.kit = p.isSet("kit");
    c.requirePrefix = p.isSet("brisko");
    if (p.isSet("address")) {
        c.multiDropAddress = number(p, "address", 0, 255);
    }
    c.addressPauseMs = number(p, "address-pause", 1, 1000);
    const QString probe = p.value("probe");
    if (probe == "first") {
        c.probe = ProbeAnswer::First;
    } else if (probe == "after-wake") {
        c.probe = ProbeAnswer::AfterWake;
    } else if (probe == "never") {
        c.probe = ProbeAnswer::Never;
    } else {
        usageError("--probe is first, after-wake or never");
    }
    if (p.isSet("modem")) {
        const QString m = p.value("modem");
        const QList<std::pair<QString, ModemResult>> words = {
            {"connect", ModemResult::Connect},      {"busy", ModemResult::Busy},
            {"no-carrier", ModemResult::NoCarrier}, {"no-dialtone", ModemResult::NoDialtone},
            {"error", ModemResult::Error},          {"silent", ModemResult::Silent}};
        for (const auto& [word, result] : words) {
            if (m == word) {
                c.modem = result;
            }
        }
        if (!c.modem) {
            usageError("--modem is connect, busy, no-carrier, no-dialtone, error or silent");
        }
    }
    c.modemDelayMs = number(p, "modem-delay", 0, 120000);
    c.modemOptional = p.isSet("modem-optional");
    return c;
}

void setUpState(const QCommandLineParser& p, BoardState& s) {
    if (p.isSet("active")) {
        for (Terminal& t : s.terminals) {
            t.active = false;
        }
        for (const QString& item : p.value("active").split(',', Qt::SkipEmptyParts)) {
            bool ok = false;
            const int n = item.trimmed().toInt(&ok);
            if (!ok || n < 1 || n > kTerminals) {
                usageError("--active lists terminals 1 to 6, e.g. 1,3");
            }
            s.terminals[n - 1].active = true;
        }
    }
    const int pulses = number(p, "pulses-per-coin", 0, 1000);
    for (Terminal& t : s.terminals) {
        t.pulsesPerCoin = pulses;
    }
    if (p.isSet("serial")) {
        s.serial = p.value("serial").toLatin1();
    }
    s.setPrinterError(p.isSet("printer-error"));
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tarvo-board-sim");
    QCoreApplication::setApplicationVersion(TARVO_VERSION);

    QCommandLineParser p;
    p.setApplicationDescription(
        "A simulated Tarvo Board on a pseudo-terminal. Prints the terminal's path on standard\n"
        "output and every frame it receives, in hexadecimal, on standard error (protocol\n"
        "errors marked \"!!\"). Runs until interrupted.\n"
        "\n"
        "Exit status:\n"
        "  0  interrupted\n"
        "  2  wrong arguments, or the terminal cannot be opened");
    p.addOptions({
        {"link", "Also make a symbolic link at <path> to the terminal.", "path"},
        {"kit", "Report in the one-terminal kit layout."},
        {"active", "Terminals that are ON, e.g. 1,3 (default: all six).", "list"},
        {"pulses-per-coin", "Pulses a coin puts on a terminal (default 4).", "n", "4"},
        {"address", "Multi-drop: answer frames for this address only.", "n"},
        {"address-pause", "Multi-drop: the gap in ms after an address byte (default 12).", "ms",
         "12"},
        {"probe", "Answer to a lone 0x05: first, after-wake (only after 0x8A) or never.", "mode",
         "first"},
        {"modem",
         "Put a modem in front; its answer to ATDT: connect, busy, no-carrier, no-dialtone, "
         "error or silent.",
         "result"},
        {"modem-delay", "Milliseconds before the modem answers (default 2500).", "ms", "2500"},
        {"modem-optional", "With --modem: a line that does not dial reaches the board directly."},
        {"brisko", "Expect the target prefix before every command."},
        {"serial", "Serial number to report; empty for none.", "text"},
        {"printer-error", "Report a printer error."},
        {{"h", "help"}, "Print this help."},
        {{"v", "version"}, "Print the version."},
    });
    // Parsed here rather than by process(), so that a wrong argument exits with 2 like every
    // other usage error.
    if (!p.parse(QCoreApplication::arguments())) {
        usageError(p.errorText());
    }
    if (p.isSet("help")) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    if (p.isSet("version")) {
        std::fputs("tarvo-board-sim " TARVO_VERSION "\n", stdout);
        return 0;
    }
    if (!p.positionalArguments().isEmpty()) {
        usageError(QStringLiteral("unknown argument \"%1\"").arg(p.positionalArguments().front()));
    }

    BoardModel model(configFrom(p));
    setUpState(p, model.state());
    model.setTraceSink([](const QString& line) {
        std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fflush(stderr);
    });

    PtyBoard board(model);
    QString error;
    if (!board.open(&error)) {
        usageError(error);
    }
    if (p.isSet("link") && !board.setLink(p.value("link"), &error)) {
        usageError(error);
    }
    std::printf("%s\n", qPrintable(board.slavePath()));
    std::fflush(stdout);

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        usageError("cannot create the signal pipe");
    }
    QSocketNotifier quitNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const int rc = app.exec();
    board.close();  // removes the link
    return rc;
}
