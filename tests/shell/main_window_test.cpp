#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QAccessible>
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

const QString kOptions = QStringLiteral("Options");

TEST(MainWindowStartUp, FirstStartWithAnEmptyStore) {
    WindowFixture f;
    auto& w = f.w();
    EXPECT_EQ(w.windowTitle(),
              QStringLiteral("Tarvo Board Configuration Utility V1.0.33 - USB.DLL V123"));
    EXPECT_EQ(w.COMInterface->count(), 33);
    EXPECT_EQ(w.COMInterface->currentText(), QStringLiteral("Com1"));
    EXPECT_EQ(w.COMInterface->itemText(32), QStringLiteral("USB"));
    EXPECT_TRUE(w.Option1->isChecked());
    EXPECT_EQ(w.MultiDropAddress->count(), 34);
    EXPECT_EQ(w.MultiDropAddress->currentText(), QStringLiteral(" 1"));
    EXPECT_EQ(w.MultiDropAddress->itemText(33), QStringLiteral(" 33"));
    EXPECT_EQ(w.AddressBitDelay, 5);
    EXPECT_EQ(w.CmdTerminalToCalibrate->count(), 7);
    EXPECT_EQ(w.CmdTerminalToCalibrate->currentIndex(), -1);
    for (int n = 0; n < 6; ++n) {
        EXPECT_TRUE(w.Terminal[n]->isEnabled()) << n;
        EXPECT_EQ(w.Terminal[n]->title(), QStringLiteral("Terminal %1").arg(n + 1));
        EXPECT_TRUE(w.PutCoinIn[n]->isVisible());
        EXPECT_FALSE(w.PutCoinIn[n]->isEnabled());
        EXPECT_FALSE(w.cmbPulseValue[n]->isVisible());
        EXPECT_FALSE(w.cmdWriteToTarvo[n]->isVisible());
        EXPECT_EQ(w.cmbPulseValue[n]->listIndex(), -1);
    }
    for (auto* box : w.txtLocationInfo) {
        EXPECT_TRUE(box->text().isEmpty());
    }
    for (auto* box : w.TxtLawInfo) {
        EXPECT_TRUE(box->text().isEmpty());
    }
    EXPECT_FALSE(w.cmdViewOnly->isEnabled());
    EXPECT_FALSE(w.ClearMemory->isEnabled());
    EXPECT_TRUE(w.Connect->isEnabled());
    EXPECT_EQ(w.SendCoinMultiA[0]->text(), QStringLiteral("In Mult  A"));
    EXPECT_EQ(w.SendCoinMultiA[1]->text(), QStringLiteral("In Mult A"));
}

TEST(MainWindowStartUp, StoredChoicesAreRestoredAndBadOnesCountAsAbsent) {
    struct Case {
        const char* name;
        std::vector<std::pair<QString, QString>> stored;
        QString interface;
        int option;  // 1..4
        QString address;
        int delay;
        bool framesEnabled;
    } cases[] = {
        {"kit",
         {{"TargetBrisko", "False"}, {"TargetTarvoBoardKit", "True"}},
         "Com1",
         3,
         " 1",
         5,
         false},
        {"usb", {{"Interface", "32"}}, "USB", 1, " 1", 5, true},
        {"multi drop",
         {{"Cashless", "True"}, {"MultiDropAddress", "5"}, {"RTAddressBitDelay", "9"}},
         "Com1",
         4,
         " 5",
         9,
         true},
        {"system",
         {{"TargetBrisko", "False"}, {"TargetTarvoBoardSystem", "True"}, {"Interface", "31"}},
         "Com32",
         2,
         " 1",
         5,
         true},
        {"garbage",
         {{"Interface", "abc"},
          {"TargetTarvoBoardKit", "maybe"},
          {"MultiDropAddress", "34"},
          {"RTAddressBitDelay", "-4x"}},
         "Com1",
         1,
         " 1",
         5,
         true},
        {"out of range",
         {{"Interface", "33"}, {"MultiDropAddress", "-1"}, {"RTAddressBitDelay", "99999"}},
         "Com1",
         1,
         " 1",
         5,
         true},
    };
    for (const auto& c : cases) {
        WindowFixture f([&](MemorySettingsStore& s) {
            for (const auto& [key, value] : c.stored) {
                s.preset(kOptions, key, value);
            }
        });
        auto& w = f.w();
        SCOPED_TRACE(c.name);
        EXPECT_EQ(w.COMInterface->currentText(), c.interface);
        const std::array<QRadioButton*, 4> options{w.Option1, w.Option2, w.Option3, w.Option4};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(options[i]->isChecked(), i + 1 == c.option) << "Option" << i + 1;
        }
        EXPECT_EQ(w.MultiDropAddress->currentText(), c.address);
        EXPECT_EQ(w.AddressBitDelay, c.delay);
        EXPECT_TRUE(w.Terminal[0]->isEnabled());
        for (int n = 1; n < 6; ++n) {
            EXPECT_EQ(w.Terminal[n]->isEnabled(), c.framesEnabled) << n;
        }
    }
}

TEST(MainWindowShutDown, ClosingWritesEveryChoiceInOrderAsText) {
    {
        WindowFixture f;
        auto& w = f.w();
        w.COMInterface->setCurrentIndex(6);
        w.Option3->setChecked(true);
        w.MultiDropAddress->setCurrentIndex(12);
        w.txtLocationInfo[2]->setText(QStringLiteral("  Hall B  "));
        w.TxtLawInfo[7]->setText(QStringLiteral("No minors"));
        w.close();
        const QStringList expectedOrder{"Interface",
                                        "LocationInfo1",
                                        "LocationInfo2",
                                        "LocationInfo3",
                                        "LocationInfo4",
                                        "LawInfo1",
                                        "LawInfo2",
                                        "LawInfo3",
                                        "LawInfo4",
                                        "LawInfo5",
                                        "LawInfo6",
                                        "LawInfo7",
                                        "LawInfo8",
                                        "TargetBrisko",
                                        "TargetTarvoBoardSystem",
                                        "TargetTarvoBoardKit",
                                        "Cashless",
                                        "MultiDropAddress"};
        QStringList order;
        for (const auto& write : f.settings->writes) {
            EXPECT_EQ(write.section, kOptions);
            order << write.key;
        }
        EXPECT_EQ(order, expectedOrder);
        EXPECT_EQ(f.settings->written(kOptions, "Interface"), QStringLiteral("6"));
        EXPECT_EQ(f.settings->written(kOptions, "TargetBrisko"), QStringLiteral("False"));
        EXPECT_EQ(f.settings->written(kOptions, "TargetTarvoBoardKit"), QStringLiteral("True"));
        EXPECT_EQ(f.settings->written(kOptions, "MultiDropAddress"), QStringLiteral("12"));
        EXPECT_FALSE(f.settings->written(kOptions, "RTAddressBitDelay").has_value());
        EXPECT_GE(f.settings->syncCount, 1);
    }
}

// The store records whether the port was still open when the first setting was written.
class OrderWatchingStore : public MemorySettingsStore {
  public:
    std::function<bool()> portOpen;
    std::optional<bool> openAtFirstWrite;
    void setValue(const QString& section, const QString& key, const QString& value) override {
        if (!openAtFirstWrite) {
            openAtFirstWrite = portOpen();
        }
        MemorySettingsStore::setValue(section, key, value);
    }
};

TEST(MainWindowShutDown, ClosingWhileConnectedDisconnectsBeforeSaving) {
    auto serial = std::make_shared<FakeSerialLine>();
    auto store = std::make_shared<OrderWatchingStore>();
    store->portOpen = [serial] { return serial->isOpen(); };
    Platform platform;
    platform.serial = serial;
    platform.usb = std::make_shared<FakeUsbLibrary>();
    platform.settings = store;
    platform.prompts = std::make_shared<FakePrompts>();
    platform.tickIntervalMs = 2;
    RetreiveAccountingApp w(platform);
    w.Option2->setChecked(false);
    w.Connect->click();
    ASSERT_EQ(w.Connect->text(), QStringLiteral("Disconnect"));
    serial->clearSent();
    w.close();
    EXPECT_EQ(serial->sentBytes(), QByteArray("\x1D\x45\x00", 3));
    ASSERT_TRUE(store->openAtFirstWrite.has_value());
    EXPECT_FALSE(*store->openAtFirstWrite);
    EXPECT_EQ(w.Connect->text(), QStringLiteral("Connect"));
}

TEST(MainWindowTicks, TwoTimersAdvanceTheCountAndItWrapsAfter32000) {
    WindowFixture f;
    auto& w = f.w();
    w.TickCount = 31999;
    ASSERT_TRUE(w.waitUntil([&] { return w.TickCount <= 100; }));
    // 31999 -> 32000 -> 0: never above 32000.
    EXPECT_LE(w.TickCount, 2);
    EXPECT_EQ(w.Timer1->interval(), 2);
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_TRUE(w.Timer2->isActive());
}

QString spoken(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}

TEST(MainWindowControls, EveryControlIsAnnouncedByItsLabelOrCaption) {
    WindowFixture f;
    auto& w = f.w();
    const std::pair<const char*, const char*> expected[] = {
        {"CoinInA_2", "Coin in A, Terminal 3"},
        {"TxtCoinInMultiA_2", "In Mult A, Terminal 3"},
        {"TxtCoinInMultiA_0", "In Mult A, Terminal 1"},
        {"TxtCoinInMultiB_5", "In Mult B, Terminal 6"},
        {"PrintMoneyOrPoints_0", "Print, Terminal 1"},
        {"cmbPulseValue_4", "Pulse Val, Terminal 5"},
        {"PutCoinIn_3", "Coin In, Terminal 4"},
        {"Terminal_1", "Terminal 2"},
        {"ResponseWindow", "Response"},
        {"SystemMessage", "System Message"},
        {"PrinterStatus", "Printer"},
        {"PrinterFirmware", "Printer firmware"},
        {"FirmwareVersion", "Firm.Version"},
        {"TarvoBoardSerialNumber", "Tarvo Board Serial"},
        {"txtLocationInfo_0", "Location line 1"},
        {"TxtLawInfo_7", "Law line 8"},
        {"cmdViewOnly", "View Info"},
        {"CmdViewLog", "View Log"},
        {"Option3", "Tarvo Board Kit"},
    };
    for (const auto& [name, text] : expected) {
        auto* widget = w.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(spoken(widget), QString::fromLatin1(text)) << name;
    }
    for (auto* widget : w.findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) {
            EXPECT_FALSE(spoken(widget).isEmpty()) << name.toStdString();
        }
    }
    // A caption that changes is announced as it reads now.
    EXPECT_EQ(spoken(w.Connect), "Connect");
    ASSERT_TRUE(f.connect());
    EXPECT_EQ(spoken(w.Connect), "Disconnect");
    w.ButtonTerminalMode->setText("Exit Terminal Mode");
    EXPECT_EQ(spoken(w.ButtonTerminalMode), "Exit Terminal Mode");
}

TEST(MainWindowControls, EveryListBoxIsLabelledByACaption) {
    WindowFixture f;
    for (auto* list : f.w().findChildren<QComboBox*>()) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
        QStringList captions;
        for (const auto& [label, relation] : iface->relations(QAccessible::Label)) {
            if (qobject_cast<QLabel*>(label->object())) {
                captions << label->text(QAccessible::Name);
            }
        }
        EXPECT_EQ(captions.size(), 1) << list->objectName().toStdString();
    }
}

TEST(MainWindowControls, EnterInAReportedBoxOpensTheEditorsAsAClickDoes) {
    WindowFixture f;
    auto& w = f.w();
    w.ValueIn[2]->setText("CENTS");
    QTest::keyClick(w.ValueIn[2], Qt::Key_Return);
    EXPECT_TRUE(w.cmbValueIn[2]->isVisible());
    EXPECT_EQ(w.cmbValueIn[2]->text(), "CENTS");
    EXPECT_FALSE(w.cmbValueIn[1]->isVisible());
}

// The board prints its report in columns: each line stays one line, in a fixed-pitch font.
TEST(MainWindowControls, TheResponseBoxKeepsTheBoardsColumns) {
    WindowFixture f;
    ResponseBox* box = f.w().ResponseWindow;
    EXPECT_TRUE(QFontInfo(box->font()).fixedPitch());
    const QString line = QStringLiteral("Total Pulses Received=000001001 ").repeated(8);
    box->appendText(line + "\r\n" + line);
    QApplication::processEvents();
    EXPECT_EQ(box->text(), line + "\r\n" + line);
    EXPECT_EQ(box->document()->firstBlock().layout()->lineCount(), 1);
    EXPECT_GT(box->horizontalScrollBar()->maximum(), 0);
}

TEST(MainWindowIdle, AnIdleWindowSleeps) {
    WindowFixture f({}, 1000);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QTest::qWait(1500);
    getrusage(RUSAGE_SELF, &after);
    auto ms = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 +
               (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
    };
    // A spinning wait would burn the whole 1.5 s.
    EXPECT_LT(ms(after) - ms(before), 300.0);
}

}  // namespace
}  // namespace tarvo::test
