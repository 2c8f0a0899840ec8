#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "app/real_platform.h"
#include "core/command_line_help.h"
#include "desktop/qt_file_chooser.h"
#include "desktop/qt_prompts.h"
#include "shell/main_window.h"

namespace {

const char* const kUsage =
    "usage: tarvo-config [--simulate] [--trace FILE] [--port Com<n>=PATH]...\n";

QList<QCommandLineOption> configOptions() {
    QCommandLineOption port(QStringLiteral("port"),
                            QStringLiteral("Uses PATH for port n in this run; may be repeated."),
                            QStringLiteral("Com<n>=PATH"));
    QCommandLineOption trace(QStringLiteral("trace"),
                             QStringLiteral("Appends every byte sent and received to FILE."),
                             QStringLiteral("FILE"));
    return {
        {QStringLiteral("simulate"),
         QStringLiteral("A simulated board answers on every Com port and on USB.")},
        trace,
        port,
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Prints this help.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Prints the version.")},
    };
}

QString helpText() {
    return QString::fromLatin1(kUsage) +
           QStringLiteral("The Tarvo Board Configuration Utility, a desktop program.\n\n") +
           tarvo::optionsHelp(configOptions()) +
           QStringLiteral(
               "\nExit status:\n"
               "  0  the window was closed\n"
               "  2  wrong arguments, or the simulated board or the trace cannot start\n");
}

enum class Parsed { Run, Printed, Wrong };

// Fills `options` from the command line, or prints the help or the version.
Parsed parse(const QStringList& args, tarvo::PlatformOptions* options, QString* error) {
    QCommandLineParser parser;
    parser.addOptions(configOptions());
    if (!parser.parse(args)) {
        *error = parser.errorText();
        return Parsed::Wrong;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(helpText()), stdout);
        return Parsed::Printed;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::fputs("tarvo-config " TARVO_VERSION "\n", stdout);
        return Parsed::Printed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error =
            QStringLiteral("unknown argument \"%1\"").arg(parser.positionalArguments().front());
        return Parsed::Wrong;
    }
    options->simulate = parser.isSet(QStringLiteral("simulate"));
    options->tracePath = parser.value(QStringLiteral("trace"));
    for (const QString& text : parser.values(QStringLiteral("port"))) {
        const auto override = tarvo::PortMap::parseOverride(text);
        if (!override) {
            *error = QStringLiteral("--port takes Com<n>=PATH with n from 1 to 32, not \"%1\"")
                         .arg(text);
            return Parsed::Wrong;
        }
        options->ports.push_back(*override);
    }
    return Parsed::Run;
}

int usageError(const QString& why) {
    std::fprintf(stderr, "tarvo-config: %s\n%s", qPrintable(why), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version answer before the window system is reached, so they work with no
    // display. Anything else waits for the application, which takes out its own arguments.
    QStringList raw;
    for (int i = 0; i < argc; ++i) {
        raw << QString::fromLocal8Bit(argv[i]);
    }
    tarvo::PlatformOptions options;
    QString error;
    if (parse(raw, &options, &error) == Parsed::Printed) {
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tarvo::RetreiveAccountingApp::kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral(TARVO_VERSION));
    // Ties the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarvo.BoardConfig"));
    options = {};
    switch (parse(QApplication::arguments(), &options, &error)) {
        case Parsed::Printed:
            return 0;
        case Parsed::Wrong:
            return usageError(error);
        case Parsed::Run:
            break;
    }
    auto setup = tarvo::makeRealPlatform(options, &error);
    if (!setup) {
        return usageError(error);
    }
    setup->platform.prompts = std::make_shared<tarvo::QtPrompts>();
    setup->platform.files = std::make_shared<tarvo::QtFileChooser>();
    auto* window = new tarvo::RetreiveAccountingApp(setup->platform);
    window->show();
    const int status = QApplication::exec();
    delete window;
    // A trace that stopped on a write error said so on standard error; the status shows it.
    return status == 0 && setup->trace && !setup->trace->writeError().isEmpty() ? 1 : status;
}
