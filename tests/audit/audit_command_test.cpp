#include <gtest/gtest.h>

#include "audit/audit_command.h"
#include "support/qstring_printer.h"

namespace tarvo::test {
namespace {

std::optional<AuditPlan> planOf(const QString& line, const StoredChoices& stored = {}) {
    QString error;
    const auto c =
        parseAuditCommand(QStringList{"tarvo-audit"} + line.split(' ', Qt::SkipEmptyParts), &error);
    if (!c) {
        return std::nullopt;
    }
    return c->plan(stored, &error);
}

TEST(AuditCommand, ChoosesTheWindowsInterfaceTargetAndAddresses) {
    using T = AuditTarget;
    struct Case {
        const char* line;
        int interface;
        const char* devicePath;
        AuditTarget target;
        std::vector<int> addresses;
    } cases[] = {
        {"--port Com1", 0, "", T::Brisko, {}},
        {"read --port=com32 --system", 31, "", T::System, {}},
        {"--usb --kit", 32, "", T::Kit, {}},
        {"--port /dev/pts/7 --multidrop 1-3,15,2", 0, "/dev/pts/7", T::MultiDrop, {1, 2, 3, 15}},
        {"--port Com2 --multidrop=255", 1, "", T::MultiDrop, {255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto plan = planOf(QString::fromLatin1(c.line));
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->interfacePosition, c.interface);
        EXPECT_EQ(plan->devicePath, QString::fromLatin1(c.devicePath));
        EXPECT_EQ(plan->target, c.target);
        EXPECT_EQ(plan->addresses, c.addresses);
    }
}

TEST(AuditCommand, WhatTheLineLeavesOutComesFromTheWindowsStoredChoices) {
    StoredChoices stored;
    stored.interfacePosition = 4;
    stored.targets = {true, false, false, true};  // the last one set wins, as in the window
    stored.multiDropPosition = 7;
    auto plan = planOf("", stored);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->interfacePosition, 4);
    EXPECT_EQ(plan->target, AuditTarget::MultiDrop);
    EXPECT_EQ(plan->addresses, std::vector<int>{7});
    plan = planOf("--kit", stored);
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->addresses.empty());
    stored.multiDropPosition = 0;
    EXPECT_FALSE(planOf("", stored));
}

TEST(AuditCommand, RefusesWhatCannotBeRead) {
    for (const char* line :
         {"--multidrop 0", "--multidrop 256", "--multidrop 5-3", "--multidrop 1-2-3",
          "--multidrop 1,,2", "--multidrop", "--port Com33", "--port ttyUSB0", "--port",
          "--usb --port Com1", "--usb --multidrop 1", "--kit --system", "--format xml", "--trace",
          "history", "--bogus", "--port Com1 --port Com2", "--simulate read", "read read"}) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(planOf(QString::fromLatin1(line)));
    }
}

TEST(AuditCommand, HelpAndVersionArePrintedInsteadOfReading) {
    struct Case {
        const char* line;
        const char* starts;
    } cases[] = {
        {"--help", "usage: tarvo-audit"},
        {"-h --kit --system", "usage: tarvo-audit"},
        {"--version", "tarvo-audit " TARVO_VERSION "\n"},
        {"read -v", "tarvo-audit " TARVO_VERSION "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        QString error;
        const auto command = parseAuditCommand(
            QStringList{"tarvo-audit"} + QString::fromLatin1(c.line).split(' '), &error);
        ASSERT_TRUE(command) << error.toStdString();
        EXPECT_TRUE(command->printOnly.startsWith(QString::fromLatin1(c.starts)));
    }
}

}  // namespace
}  // namespace tarvo::test
