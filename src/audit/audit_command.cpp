#include "audit/audit_command.h"

#include <QCommandLineParser>
#include <algorithm>

#include "core/command_line_help.h"
#include "session/link_options.h"

namespace tarvo {

const char* const kAuditUsage =
    "usage: tarvo-audit [read] [--port Com<n>|PATH | --usb]\n"
    "                   [--brisko | --system | --kit | --multidrop LIST]\n"
    "                   [--format json|csv|text] [--trace FILE] [--simulate]\n"
    "  LIST is addresses 1 to 255, such as 1-12,15\n"
    "       tarvo-audit history [--serial S] [--since DATE] [--format json|csv|text]\n"
    "                           [--database PATH|postgresql://HOST[:PORT]/DB] [--push]\n"
    "  prints the kept readings, oldest first, with the meters that went backwards;\n"
    "  and with --push sends the readings still waiting here to the central history\n";

namespace {

// The options of the meter audit, for the parser and for --help alike.
QList<QCommandLineOption> auditOptions() {
    auto option = [](const QStringList& names, const char* text, const char* value = nullptr) {
        QCommandLineOption o(names, QString::fromLatin1(text));
        if (value) {
            o.setValueName(QString::fromLatin1(value));
        }
        return o;
    };
    return {
        option({"port"}, "Com1 to Com32, or a device path such as /dev/ttyUSB0.", "Com<n>|PATH"),
        option({"usb"}, "The board on USB."),
        option({"brisko"}, "The board sits behind a Brisko system."),
        option({"system"}, "A Tarvo Board System; the board is probed when connecting."),
        option({"kit"}, "A Tarvo Board Kit: one terminal."),
        option({"multidrop"}, "A multi-drop line: the addresses to read, in this order.", "LIST"),
        option({"format"}, "The form of the records (default text).", "json|csv|text"),
        option({"trace"}, "Appends every byte sent and received to FILE.", "FILE"),
        option({"simulate"}, "Reads a simulated board instead of hardware."),
        option({"h", "help"}, "Prints this help."),
        option({"v", "version"}, "Prints the version."),
    };
}

constexpr int kLastAddress = 255;

std::optional<int> comPosition(const QString& text) {
    if (!text.startsWith(QLatin1String("com"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    bool ok = false;
    const int n = text.mid(3).toInt(&ok);
    if (!ok || n < 1 || n > LinkOptions::kUsbPosition) {
        return std::nullopt;
    }
    return n - 1;
}

std::optional<int> address(const QString& text) {
    bool ok = false;
    const int a = text.trimmed().toInt(&ok);
    return ok && a >= 1 && a <= kLastAddress ? std::optional<int>(a) : std::nullopt;
}

}  // namespace

QString auditHelpText() {
    QString text =
        QString::fromLatin1(kAuditUsage) + QLatin1Char('\n') + optionsHelp(auditOptions());
    text += QStringLiteral(
        "\nExit status:\n"
        "  0  every board answered with a whole report\n"
        "  1  at least one record carries an error; the other boards are still read\n"
        "  2  wrong arguments\n");
    return text;
}

std::optional<std::vector<int>> parseAddressList(const QString& text) {
    std::vector<int> list;
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& item : items) {
        const QStringList ends = item.split(QLatin1Char('-'));
        if (ends.size() > 2) {
            return std::nullopt;
        }
        const auto first = address(ends.front());
        const auto last = address(ends.back());
        if (!first || !last || *last < *first) {
            return std::nullopt;
        }
        for (int a = *first; a <= *last; ++a) {
            if (std::find(list.begin(), list.end(), a) == list.end()) {
                list.push_back(a);
            }
        }
    }
    return list;
}

std::optional<AuditCommand> parseAuditCommand(const QStringList& args, QString* error) {
    auto fail = [error](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    QCommandLineParser parser;
    parser.addOptions(auditOptions());
    if (!parser.parse(args)) {
        return fail(parser.errorText());
    }
    AuditCommand c;
    if (parser.isSet(QStringLiteral("help"))) {
        c.printOnly = auditHelpText();
        return c;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        c.printOnly = QStringLiteral("tarvo-audit " TARVO_VERSION "\n");
        return c;
    }
    // The command is the one word before the options.
    const QStringList words = parser.positionalArguments();
    if (!words.isEmpty()) {
        c.command = words.front();
        if (c.command != QLatin1String("read")) {
            return fail(QStringLiteral("unknown command \"%1\"").arg(c.command));
        }
        if (words.size() > 1 || args.value(1) != c.command) {
            return fail(QStringLiteral("unknown argument \"%1\"").arg(words.back()));
        }
    }

    const QStringList ports = parser.values(QStringLiteral("port"));
    if (ports.size() + (parser.isSet(QStringLiteral("usb")) ? 1 : 0) > 1) {
        return fail(QStringLiteral("--usb and --port choose one interface, not two"));
    }
    if (parser.isSet(QStringLiteral("usb"))) {
        c.interfacePosition = LinkOptions::kUsbPosition;
    } else if (!ports.isEmpty()) {
        const QString& value = ports.front();
        if (value.isEmpty()) {
            return fail(QStringLiteral("--port needs Com<n> or a device path"));
        }
        if (const auto com = comPosition(value)) {
            c.interfacePosition = *com;
        } else if (value.compare(QLatin1String("usb"), Qt::CaseInsensitive) == 0) {
            c.interfacePosition = LinkOptions::kUsbPosition;
        } else if (value.startsWith(QLatin1Char('/'))) {
            // A device by its path takes the place of Com1 for this run.
            c.interfacePosition = 0;
            c.devicePath = value;
        } else {
            return fail(QStringLiteral("--port takes Com1 to Com32, USB or a device path "
                                       "such as /dev/ttyUSB0, not \"%1\"")
                            .arg(value));
        }
    }

    const std::pair<const char*, AuditTarget> targets[] = {
        {"brisko", AuditTarget::Brisko},
        {"system", AuditTarget::System},
        {"kit", AuditTarget::Kit},
        {"multidrop", AuditTarget::MultiDrop},
    };
    for (const auto& [name, target] : targets) {
        if (parser.isSet(QLatin1String(name))) {
            if (c.target) {
                return fail(QStringLiteral("choose one of --brisko, --system, --kit, --multidrop"));
            }
            c.target = target;
        }
    }
    if (c.target == AuditTarget::MultiDrop) {
        // Given twice, the last list counts, as with every other option.
        const QString value = parser.value(QStringLiteral("multidrop"));
        const auto list = value.isEmpty() ? std::nullopt : parseAddressList(value);
        if (!list) {
            return fail(QStringLiteral("--multidrop takes addresses 1 to 255 such as "
                                       "1-12,15, not \"%1\"")
                            .arg(value));
        }
        c.addresses = *list;
    }
    if (parser.isSet(QStringLiteral("format"))) {
        const auto format = recordFormat(parser.value(QStringLiteral("format")));
        if (!format) {
            return fail(QStringLiteral("--format is json, csv or text"));
        }
        c.format = *format;
    }
    if (parser.isSet(QStringLiteral("trace"))) {
        c.tracePath = parser.value(QStringLiteral("trace"));
        if (c.tracePath.isEmpty()) {
            return fail(QStringLiteral("--trace needs a file name"));
        }
    }
    c.simulate = parser.isSet(QStringLiteral("simulate"));
    if (c.target == AuditTarget::MultiDrop && c.interfacePosition == LinkOptions::kUsbPosition) {
        return fail(QStringLiteral("a multi-drop line is read through a serial port, not USB"));
    }
    return c;
}

std::optional<AuditPlan> AuditCommand::plan(const StoredChoices& stored, QString* error) const {
    AuditPlan p;
    p.interfacePosition = interfacePosition.value_or(stored.interfacePosition);
    p.devicePath = devicePath;
    if (target) {
        p.target = *target;
    } else {
        // The window's rule: of the stored choices, the last one set wins.
        for (int i = 0; i < 4; ++i) {
            if (stored.targets[static_cast<size_t>(i)]) {
                p.target = static_cast<AuditTarget>(i);
            }
        }
    }
    if (p.target == AuditTarget::MultiDrop) {
        p.addresses = target ? addresses : std::vector<int>{stored.multiDropPosition};
        if (p.addresses == std::vector<int>{0}) {
            *error = QStringLiteral("the window's multi-drop address is 0; give --multidrop LIST");
            return std::nullopt;
        }
        if (p.interfacePosition == LinkOptions::kUsbPosition) {
            *error = QStringLiteral("a multi-drop line is read through a serial port, not USB");
            return std::nullopt;
        }
    }
    return p;
}

}  // namespace tarvo
