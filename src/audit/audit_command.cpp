#include "audit/audit_command.h"

#include <algorithm>

#include "shell/main_window.h"

namespace tarvo {

const char* const kAuditUsage =
    "usage: tarvo-audit [read] [--port Com<n>|PATH | --usb]\n"
    "                   [--brisko | --system | --kit | --multidrop LIST]\n"
    "                   [--format json|csv|text] [--trace FILE] [--simulate]\n"
    "  LIST is addresses 1 to 255, such as 1-12,15\n"
    "       tarvo-audit history [--serial S] [--since DATE] [--format json|csv|text]\n"
    "                           [--database PATH|postgresql://HOST[:PORT]/DB] [--push]\n"
    "  prints the kept readings, oldest first, with the meters that went backwards;\n"
    "  --push sends the readings still waiting here to the central history\n";

namespace {

constexpr int kLastAddress = 255;

std::optional<int> comPosition(const QString& text) {
    if (!text.startsWith(QLatin1String("com"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    bool ok = false;
    const int n = text.mid(3).toInt(&ok);
    if (!ok || n < 1 || n > RetreiveAccountingApp::kUsbPosition) {
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
    AuditCommand c;
    int i = 1;
    if (i < args.size() && !args[i].startsWith(QLatin1Char('-'))) {
        c.command = args[i++];
        if (c.command != QLatin1String("read")) {
            *error = QStringLiteral("unknown command \"%1\"").arg(c.command);
            return std::nullopt;
        }
    }
    auto fail = [error](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    for (; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool hasValue = false;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        // Takes the option's value, from "--name=value" or the next argument.
        auto takeValue = [&]() -> bool {
            if (!hasValue && i + 1 < args.size()) {
                value = args[++i];
                hasValue = true;
            }
            return hasValue && !value.isEmpty();
        };
        auto setTarget = [&](AuditTarget t) -> bool {
            if (c.target && *c.target != t) {
                return false;
            }
            c.target = t;
            return true;
        };
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            c.help = true;
        } else if (name == QLatin1String("--simulate")) {
            c.simulate = true;
        } else if (name == QLatin1String("--usb")) {
            if (!c.devicePath.isEmpty() ||
                (c.interfacePosition &&
                 *c.interfacePosition != RetreiveAccountingApp::kUsbPosition)) {
                return fail(QStringLiteral("--usb and --port choose one interface, not two"));
            }
            c.interfacePosition = RetreiveAccountingApp::kUsbPosition;
        } else if (name == QLatin1String("--port")) {
            if (!takeValue()) {
                return fail(QStringLiteral("--port needs Com<n> or a device path"));
            }
            if (c.interfacePosition) {
                return fail(QStringLiteral("--usb and --port choose one interface, not two"));
            }
            if (const auto com = comPosition(value)) {
                c.interfacePosition = *com;
            } else if (value.compare(QLatin1String("usb"), Qt::CaseInsensitive) == 0) {
                c.interfacePosition = RetreiveAccountingApp::kUsbPosition;
            } else if (value.startsWith(QLatin1Char('/'))) {
                // A device by its path takes the place of Com1 for this run.
                c.interfacePosition = 0;
                c.devicePath = value;
            } else {
                return fail(QStringLiteral("--port takes Com1 to Com32, USB or a device path "
                                           "such as /dev/ttyUSB0, not \"%1\"")
                                .arg(value));
            }
        } else if (name == QLatin1String("--brisko") || name == QLatin1String("--system") ||
                   name == QLatin1String("--kit")) {
            const AuditTarget t = name == QLatin1String("--brisko")   ? AuditTarget::Brisko
                                  : name == QLatin1String("--system") ? AuditTarget::System
                                                                      : AuditTarget::Kit;
            if (!setTarget(t)) {
                return fail(QStringLiteral("choose one of --brisko, --system, --kit, --multidrop"));
            }
        } else if (name == QLatin1String("--multidrop")) {
            if (!takeValue()) {
                return fail(
                    QStringLiteral("--multidrop needs a list of addresses such as 1-12,15"));
            }
            const auto list = parseAddressList(value);
            if (!list) {
                return fail(QStringLiteral("--multidrop takes addresses 1 to 255 such as "
                                           "1-12,15, not \"%1\"")
                                .arg(value));
            }
            if (!setTarget(AuditTarget::MultiDrop)) {
                return fail(QStringLiteral("choose one of --brisko, --system, --kit, --multidrop"));
            }
            c.addresses = *list;
        } else if (name == QLatin1String("--format")) {
            const auto format = takeValue() ? recordFormat(value) : std::nullopt;
            if (!format) {
                return fail(QStringLiteral("--format is json, csv or text"));
            }
            c.format = *format;
        } else if (name == QLatin1String("--trace")) {
            if (!takeValue()) {
                return fail(QStringLiteral("--trace needs a file name"));
            }
            c.tracePath = value;
        } else {
            return fail(QStringLiteral("unknown argument \"%1\"").arg(args[i]));
        }
    }
    if (c.target == AuditTarget::MultiDrop &&
        c.interfacePosition == RetreiveAccountingApp::kUsbPosition) {
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
        if (p.interfacePosition == RetreiveAccountingApp::kUsbPosition) {
            *error = QStringLiteral("a multi-drop line is read through a serial port, not USB");
            return std::nullopt;
        }
    }
    return p;
}

}  // namespace tarvo
