#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>

#include "platform/qsettings_store.h"
#include "shell/main_window.h"
#include "support/fake_prompts.h"
#include "support/fake_serial_line.h"

// The choices survive a close and a new start through the real per-user file.
namespace tarvo::test {
namespace {

std::unique_ptr<RetreiveAccountingApp> startWindow() {
    Platform platform;
    platform.serial = std::make_shared<FakeSerialLine>();
    platform.settings = std::make_shared<QSettingsStore>();
    platform.prompts = std::make_shared<FakePrompts>();
    platform.tickIntervalMs = 5;
    return std::make_unique<RetreiveAccountingApp>(std::move(platform));
}

TEST(SettingsFile, ClosingWritesTheFileAndTheNextStartRestoresIt) {
    const QString file = QSettingsStore().fileName();
    QFile::remove(file);
    {
        auto w = startWindow();
        // Without USB the title stops after the program's own version.
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Tarvo Board Configuration Utility V1.0.33"));
        w->COMInterface->setCurrentIndex(32);
        w->Option4->setChecked(true);
        w->MultiDropAddress->setCurrentIndex(9);
        w->txtLocationInfo[0]->setText(QStringLiteral("Main street 5, \"Lucky\" corner"));
        w->TxtLawInfo[3]->setText(QStringLiteral("Über 18 ; only"));
        w->close();
    }
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value("Options/Interface").toString(), QStringLiteral("32"));
    EXPECT_EQ(raw.value("Options/Cashless").toString(), QStringLiteral("True"));
    EXPECT_EQ(raw.value("Options/TargetBrisko").toString(), QStringLiteral("False"));
    EXPECT_EQ(raw.value("Options/MultiDropAddress").toString(), QStringLiteral("9"));

    auto again = startWindow();
    EXPECT_EQ(again->COMInterface->currentText(), QStringLiteral("USB"));
    EXPECT_TRUE(again->Option4->isChecked());
    EXPECT_EQ(again->MultiDropAddress->currentText(), QStringLiteral(" 9"));
    EXPECT_EQ(again->txtLocationInfo[0]->text(), QStringLiteral("Main street 5, \"Lucky\" corner"));
    EXPECT_EQ(again->TxtLawInfo[3]->text(), QStringLiteral("Über 18 ; only"));
    again->close();
    QFile::remove(file);
}

}  // namespace
}  // namespace tarvo::test
