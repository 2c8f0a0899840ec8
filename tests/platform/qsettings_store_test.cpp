#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/port_map.h"
#include "platform/qsettings_store.h"

namespace tarvo {
namespace {

QString expectedFile() {
    return QDir(qEnvironmentVariable("XDG_CONFIG_HOME"))
        .filePath("Tarvo/Tarvo Board Configuration Utility.conf");
}

TEST(QSettingsStore, TextValuesSurviveAWriteAndARead) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"));
    const std::vector<std::pair<QString, QString>> values = {
        {"Empty", ""},
        {"Blanks", "  both ends  "},
        {"Comma", "a, b,c"},
        {"Semicolon", "; x=y"},
        {"Hash", "#not a comment"},
        {"Number", "0032"},
        {"Accents", "Caf\u00e9 \u20ac"},
        {"Quote", "say \"hi\" \\ back"},
        {"Group/Slash", "slash in key"},
    };
    {
        QSettingsStore store;
        EXPECT_EQ(store.fileName(), expectedFile());
        for (const auto& [key, value] : values) {
            store.setValue("Options", key, value);
        }
        store.setValue("Ports", "Com1", "/dev/ttyUSB0");
        store.sync();
    }
    ASSERT_TRUE(QFile::exists(expectedFile()));
    QSettingsStore again;
    for (const auto& [key, value] : values) {
        EXPECT_EQ(again.value("Options", key), value) << key.toStdString();
    }
    EXPECT_EQ(again.value("Options", "Never"), std::nullopt);
    EXPECT_EQ(PortMap(std::make_shared<QSettingsStore>()).devicePath(1), "/dev/ttyUSB0");
}

TEST(QSettingsStore, ReadsAHandWrittenFile) {
    QDir().mkpath(QFileInfo(expectedFile()).path());
    QFile f(expectedFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Ports]\nCom3=/dev/ttyACM0\n\n[Options]\nLawInfo1=No play, no pay\n");
    f.close();
    QSettingsStore store;
    EXPECT_EQ(store.value("Ports", "Com3"), "/dev/ttyACM0");
    EXPECT_EQ(store.value("Options", "LawInfo1"), "No play, no pay");
}

// A store that cannot be written says where and why; one that can says nothing.
TEST(QSettingsStore, AFailedSyncNamesTheFileAndTheReason) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("plain"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder.conf"));
    const std::pair<QString, QString> cases[] = {
        {dir.filePath("ok/store.conf"), ""},
        {dir.filePath("plain/store.conf"), dir.filePath("plain/store.conf") + ": the folder " +
                                               dir.filePath("plain") + " cannot be made"},
        {dir.filePath("folder.conf"), dir.filePath("folder.conf") + ": Is a directory"},
    };
    for (const auto& [file, error] : cases) {
        SCOPED_TRACE(file.toStdString());
        QSettingsStore store(file);
        store.setValue("Options", "LocationInfo1", "typed");
        store.sync();
        EXPECT_EQ(store.syncError().toStdString(), error.toStdString());
    }
}

}  // namespace
}  // namespace tarvo
