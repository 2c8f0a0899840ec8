#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/meter_reading.h"
#include "session/stored_choices.h"

namespace tarvo {

// The four targets of the window's option buttons.
enum class AuditTarget { Brisko, System, Kit, MultiDrop };

// What one audit reads: the window's choices for a connection, and the addresses of a bus.
struct AuditPlan {
    int interfacePosition = 0;  // 0..31 for Com1..Com32, 32 for USB
    QString devicePath;         // set: this device stands in for the chosen Com port
    AuditTarget target = AuditTarget::Brisko;
    std::vector<int> addresses;  // multi-drop only, in reading order
};

// The command line of tarvo-audit: `tarvo-audit [COMMAND] [OPTIONS]`. The command is a word
// before the options; "read" (the meter audit) is the one there is and the default.
struct AuditCommand {
    QString command = QStringLiteral("read");
    // Set for --help and --version: the text to print instead of reading.
    QString printOnly;

    // Choices left out fall back to the window's stored ones.
    std::optional<int> interfacePosition;
    QString devicePath;
    std::optional<AuditTarget> target;
    std::vector<int> addresses;

    RecordFormat format = RecordFormat::Text;
    QString tracePath;
    bool simulate = false;

    // The plan with the window's stored choices for what the command line leaves out;
    // nothing (and `error` says why) when they make no readable plan.
    std::optional<AuditPlan> plan(const StoredChoices& stored, QString* error) const;
};

// `args` starts with the program name. Nothing when the arguments are wrong; `error` then
// says why. Needs no application object.
std::optional<AuditCommand> parseAuditCommand(const QStringList& args, QString* error);
// "1-12,15": addresses 1..255 in the order given, each once. Nothing for any other text.
std::optional<std::vector<int>> parseAddressList(const QString& text);

// The synopsis printed after a usage error.
extern const char* const kAuditUsage;
// What --help prints: the synopsis, every option and the exit statuses.
QString auditHelpText();

}  // namespace tarvo
