#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "core/dialog_filter.h"
#include "platform/qsettings_store.h"
#include "shell/cd_file.h"
#include "support/text_fit.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

const QString kOptions = QStringLiteral("Options");

TEST(MainWindowStartUp, FirstStartWithAnEmptyStore) {
    WindowFixture f;
    auto& w = f.w();
    EXPECT_EQ(w.windowTitle(),
              QStringLiteral("Tarvo Board Configuration Utility V1.0.33 - USB.DLL V123"));
    EXPECT_EQ(w.MultiDropAddress->itemText(33), QStringLiteral(" 33"));
    EXPECT_EQ(w.CmdTerminalToCalibrate->currentIndex(), -1);
    for (int n = 0; n < 6; ++n) {
        EXPECT_EQ(w.Terminal[n]->title(), QStringLiteral("Terminal %1").arg(n + 1));
        EXPECT_TRUE(w.PutCoinIn[n]->isVisible());
        EXPECT_FALSE(w.PutCoinIn[n]->isEnabled());
        EXPECT_FALSE(w.cmbPulseValue[n]->isVisible());
        EXPECT_FALSE(w.cmdWriteToTarvo[n]->isVisible());
        EXPECT_EQ(w.cmbPulseValue[n]->listIndex(), -1);
    }
    EXPECT_FALSE(w.cmdViewOnly->isEnabled());
    EXPECT_FALSE(w.ClearMemory->isEnabled());
    EXPECT_TRUE(w.Connect->isEnabled());
    EXPECT_EQ(w.SendCoinMultiA[0]->text(), QStringLiteral("In Mult  A"));
    EXPECT_EQ(w.SendCoinMultiA[1]->text(), QStringLiteral("In Mult A"));
}

// Each case: stored "key=value" pairs, then interface|options checked|address|delay|frames on.
TEST(MainWindowStartUp, StoredChoicesAreRestoredAndBadOnesCountAsAbsent) {
    const std::pair<QStringList, QString> cases[] = {
        {{}, "Com1|1000| 1|5|111111"},
        {{"TargetBrisko=False", "TargetTarvoBoardKit=True"}, "Com1|0010| 1|5|100000"},
        {{"Interface=32", "RTAddressBitDelay=31"}, "USB|1000| 1|31|111111"},
        {{"Cashless=True", "MultiDropAddress=5", "RTAddressBitDelay=9"}, "Com1|0001| 5|9|111111"},
        {{"TargetBrisko=False", "TargetTarvoBoardSystem=True", "Interface=31",
          "RTAddressBitDelay=-1"},
         "Com32|0100| 1|5|111111"},
        {{"Interface=abc", "TargetTarvoBoardKit=maybe", "MultiDropAddress=34",
          "RTAddressBitDelay=-4x"},
         "Com1|1000| 1|5|111111"},
        // A delay past the largest is taken as the largest.
        {{"Interface=33", "MultiDropAddress=-1", "RTAddressBitDelay=99999"},
         "Com1|1000| 1|31|111111"},
        {{"RTAddressBitDelay=32"}, "Com1|1000| 1|31|111111"},
    };
    for (const auto& [stored, expected] : cases) {
        WindowFixture f([&pairs = stored](MemorySettingsStore& s) {
            for (const QString& pair : pairs) {
                s.preset(kOptions, pair.section('=', 0, 0), pair.section('=', 1));
            }
        });
        auto& w = f.w();
        QString got = w.COMInterface->currentText() + '|';
        for (auto* option : {w.Option1, w.Option2, w.Option3, w.Option4}) {
            got += option->isChecked() ? '1' : '0';
        }
        got += QStringLiteral("|%1|%2|")
                   .arg(w.MultiDropAddress->currentText())
                   .arg(w.session().AddressBitDelay);
        for (auto* frame : w.Terminal) {
            got += frame->isEnabled() ? '1' : '0';
        }
        EXPECT_EQ(got, expected) << stored.join(' ').toStdString();
    }
}

// The location and law lines of a first start are empty, and saved so.
TEST(MainWindowShutDown, ClosingWritesEveryChoiceInOrderAsText) {
    WindowFixture f;
    auto& w = f.w();
    w.COMInterface->setCurrentIndex(6);
    w.Option3->setChecked(true);
    w.MultiDropAddress->setCurrentIndex(12);
    w.close();
    QStringList order;
    for (const auto& write : f.settings->writes) {
        EXPECT_EQ(write.section, kOptions);
        order << write.key + '=' + write.value;
    }
    EXPECT_EQ(order.join(' '),
              "Interface=6 LocationInfo1= LocationInfo2= LocationInfo3= LocationInfo4= LawInfo1= "
              "LawInfo2= LawInfo3= LawInfo4= LawInfo5= LawInfo6= LawInfo7= LawInfo8= "
              "TargetBrisko=False TargetTarvoBoardSystem=False TargetTarvoBoardKit=True "
              "Cashless=False MultiDropAddress=12");
    EXPECT_GE(f.settings->syncCount, 1);
}

TEST(MainWindowShutDown, ClosingWhileConnectedDisconnectsBeforeSaving) {
    WindowFixture f;
    std::optional<bool> openAtFirstWrite;
    f.settings->beforeWrite = [&] {
        openAtFirstWrite = openAtFirstWrite.value_or(f.serial->isOpen());
    };
    f.w().Option2->setChecked(false);
    ASSERT_TRUE(f.connect());
    f.w().close();
    EXPECT_EQ(f.serial->sentBytes(), QByteArray("\x1D\x45\x00", 3));
    EXPECT_EQ(openAtFirstWrite, false);
    EXPECT_EQ(f.w().Connect->text(), QStringLiteral("Connect"));
}

// Typed lines that cannot be kept are not lost without a word: one box names the file.
TEST(MainWindowShutDown, ASettingsFileThatCannotBeWrittenIsSaid) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not a folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const QString file = dir.filePath("not a folder/settings.conf");
    auto prompts = std::make_shared<FakePrompts>();
    Platform platform;
    platform.serial = std::make_shared<FakeSerialLine>();
    platform.usb = std::make_shared<FakeUsbLibrary>();
    platform.settings = std::make_shared<QSettingsStore>(file);
    platform.prompts = prompts;
    RetreiveAccountingApp w(platform);
    w.txtLocationInfo[0]->setText("typed");
    w.close();
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, "Could not save the settings to " + file +
                                             ": the folder " + dir.filePath("not a folder") +
                                             " cannot be made");
    EXPECT_EQ(prompts->messages[0].buttons, MsgButtons::Ok);
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
        {"TxtCoinInMultiA_0", "In Mult A, Terminal 1"},
        {"PrintMoneyOrPoints_0", "Print, Terminal 1"},
        {"cmbPulseValue_4", "Pulse Val, Terminal 5"},
        {"PutCoinIn_3", "Coin In, Terminal 4"},
        {"Terminal_1", "Terminal 2"},
        {"ResponseWindow", "Response"},
        {"SystemMessage", "System Message"},
        {"PrinterStatus", "Printer"},
        {"FirmwareVersion", "Firm.Version"},
        {"TarvoBoardSerialNumber", "Tarvo Board Serial"},
        {"txtLocationInfo_0", "Location line 1"},
        {"TxtLawInfo_7", "Law line 8"},
        {"cmdViewOnly", "View Info"},
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
        if (qobject_cast<QComboBox*>(widget)) {  // labelled by exactly one caption
            int captions = 0;
            for (const auto& [label, relation] :
                 QAccessible::queryAccessibleInterface(widget)->relations(QAccessible::Label)) {
                captions += qobject_cast<QLabel*>(label->object()) ? 1 : 0;
            }
            EXPECT_EQ(captions, 1) << name.toStdString();
        }
    }
    // A caption that changes is announced as it reads now.
    EXPECT_EQ(spoken(w.Connect), "Connect");
    ASSERT_TRUE(f.connect());
    EXPECT_EQ(spoken(w.Connect), "Disconnect");
    w.ButtonTerminalMode->setText("Exit Terminal Mode");
    EXPECT_EQ(spoken(w.ButtonTerminalMode), "Exit Terminal Mode");
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

// The board prints its report in columns: each line stays one line (the font's part is the
// response box's own test).
TEST(MainWindowControls, TheResponseBoxKeepsTheBoardsColumns) {
    WindowFixture f;
    ResponseBox* box = f.w().ResponseWindow;
    const QString line = QStringLiteral("Total Pulses Received=000001001 ").repeated(8);
    box->appendText(line + "\r\n" + line);
    QApplication::processEvents();
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

// How the text and status are made of the board's bytes is the session's (ReceivedText in
// tests/session); here only that both reach their boxes, the widget one line a line, and that
// in terminal view the caret follows the text.
TEST(ReceivePath, BoardTextReachesTheResponseAndStatusBoxes) {
    WindowFixture f;
    auto& w = f.w();
    f.serial->receive(QByteArray("AB\r\nC\x1B/\x07\x01x\x01\n"));
    EXPECT_EQ(w.ResponseWindow->text(), "AB\r\nC\r\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ResponseWindow->toPlainText(), "AB\nC\n");
    EXPECT_EQ(w.SystemMessage->text(), "Counting pulses on  3 /");
    w.TerminalView = true;
    QTextCursor start = w.ResponseWindow->textCursor();
    start.movePosition(QTextCursor::Start);
    w.ResponseWindow->setTextCursor(start);
    f.serial->receive("abc");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ResponseWindow->textCursor().position(), 8);  // after "AB", "C", "abc"
    EXPECT_FALSE(w.ResponseWindow->textCursor().hasSelection());
}

// A report with the widest value every display can receive: "W" is the widest letter of the
// usual fonts, meters have nine digits, and the printer reports an error.
QByteArray widestReport() {
    QByteArray r =
        "TARVO BOARD METER REPORT\r\n"
        "*S|0|WWWWWWWWW|P|P|P|P|P|P|0\r\n"
        "  SERIAL # WWWWWWWW\r\n"
        "Pulses in Per Point :   5000 2500 5000 2000 5000 DIP \r\n"
        "Pulses in Multiplier :   1000 1000 500 1000 1000 250 \r\n"
        "Print Out In :   POINTS POINTS POINTS MONEY POINTS POINTS\r\n"
        "Print Money Value In :   DOLLAR DOLLAR CENTS DOLLAR DOLLAR DOLLAR\r\n"
        "Coin In A Multiplier:  255 255 255 255 255 255 \r\n"
        "Coin In B Multiplier:  255 255 255 255 255 255 \r\n"
        "*S|0|WWWWWWWWW|0|\r\n"
        "Current Status: PLAY IDLE PLAY IDLE PLAY IDLE\r\n";
    for (int n = 0; n < 6; ++n) {
        r += "Terminal " + QByteArray::number(n + 1) + "\r\n";
        for (const char* label : {"Total Pulses Received=", "Total Pulses Returned=",
                                  "Total Pulses Paid Out=", "Coin_1 in =", "Coin_2 in ="}) {
            r += QByteArray(label) + "999999999\r\n";
        }
    }
    while (r.size() < 1400) {
        r += QByteArray(38, '-') + "\r\n";
    }
    return r;
}

// Every display filled with its widest text, at each font scale.
TEST(TextFit, EveryTextOfTheMainWindowIsShownWhole) {
    atEachFontScale([](double scale) {
        WindowFixture f;
        auto& w = f.w();
        f.answerMeterRequests(widestReport());
        ASSERT_TRUE(f.connect());
        w.cmdViewOnly->click();
        ASSERT_TRUE(f.idle());
        ASSERT_EQ(w.PrinterStatus->text(), "Printer Error");
        ASSERT_EQ(w.CoinInA[5]->text(), "999999999");
        ASSERT_TRUE(w.cmbValueIn[0]->isVisible());
        w.SystemMessage->setText("ERROR! Problems getting data from Tarvo Board");
        w.ButtonTerminalMode->setText("Exit Terminal Mode");
        for (auto* line : w.txtLocationInfo) {
            line->setText("TARVO GAMING HALL, 1234 MAIN ST.");
        }
        for (auto* line : w.TxtLawInfo) {
            line->setText("NO PLAYER UNDER 18 YEARS OF AGE.");
        }
        w.COMInterface->setCurrentIndex(31);
        w.MultiDropAddress->setCurrentIndex(33);
        w.CmdTerminalToCalibrate->setCurrentIndex(6);
        QApplication::processEvents();
        EXPECT_EQ(cutTexts(w).join('\n'), "");
        // For a look by eye: TARVO_GRAB_DIR=/tmp build/tests/test_shell --gtest_filter=TextFit*
        if (qEnvironmentVariableIsSet("TARVO_GRAB_DIR")) {
            w.grab().save(QDir(qEnvironmentVariable("TARVO_GRAB_DIR"))
                              .filePath(QStringLiteral("main_window_%1.png").arg(scale)));
        }
    });
}

TEST(DialogFilter, ConvertsTheBarFormIntoNameFilters) {
    struct Case {
        const char* filter;
        QStringList expected;
    };
    const Case cases[] = {
        {"Law files (*.law)|*.law|All files (*.*)|*.*", {"Law files (*.law)", "All files (*)"}},
        {"Bix File (K7731_*.bix)|K7731_*.bix|All files (*.*)|*.*|",
         {"Bix File (K7731_*.bix)", "All files (*)"}},
        {"Texts|*.txt;*.TXT", {"Texts (*.txt *.TXT)"}},
        {"Odd one", {"Odd one (*)"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dialogNameFilters(QString::fromLatin1(c.filter)), c.expected) << c.filter;
    }
}

TEST(SubOpenFile, TitleDecidesOpenOrSaveAndCancelGivesNoFile) {
    WindowFixture f;
    auto& dialog = f.w().cdFile();
    struct Case {
        const char* title;
        bool save;
    };
    const Case cases[] = {{"Open File", false}, {"Save File", true}, {"open file", true}};
    for (const auto& c : cases) {
        dialog.DialogTitle = QString::fromLatin1(c.title);
        dialog.Filter = QStringLiteral("Location files (*.loc)|*.loc|All files (*.*)|*.*");
        dialog.FileName = QStringLiteral("left over");
        f.files->answer(QStringLiteral("/tmp/a folder/site.loc"));
        EXPECT_EQ(f.w().subOpenFile(), QStringLiteral("/tmp/a folder/site.loc")) << c.title;
        const FileRequest& request = f.files->requests.back();
        EXPECT_EQ(request.save, c.save) << c.title;
        EXPECT_EQ(request.mustExist, !c.save) << c.title;
        EXPECT_EQ(request.owner, &f.w());
        EXPECT_EQ(request.title, QString::fromLatin1(c.title));
        EXPECT_TRUE(request.initialName.isEmpty());
        EXPECT_EQ(request.nameFilters, QStringList({"Location files (*.loc)", "All files (*)"}));
    }
    // A cancelled dialog gives no file and leaves the name empty.
    dialog.DialogTitle = QStringLiteral("Open File");
    dialog.FileName = QStringLiteral("old");
    f.files->cancel();
    EXPECT_TRUE(f.w().subOpenFile().isEmpty());
    EXPECT_TRUE(dialog.FileName.isEmpty());
    EXPECT_TRUE(dialog.CancelError);
    // Without CancelError a cancelled dialog is no error and keeps the name it had.
    dialog.CancelError = false;
    dialog.FileName = QStringLiteral("kept");
    f.files->cancel();
    EXPECT_EQ(dialog.ShowSave(), 0);
    EXPECT_EQ(dialog.FileName, QStringLiteral("kept"));
    dialog.CancelError = true;
    EXPECT_EQ(dialog.ShowOpen(), CD_File::kCancelError);
}

}  // namespace
}  // namespace tarvo::test
