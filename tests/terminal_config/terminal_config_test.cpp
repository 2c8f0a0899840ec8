#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "shell/main_window.h"
#include "support/window_fixture.h"
#include "terminal_config/terminal_parameters.h"

namespace tarvo::test {
namespace {

using App = RetreiveAccountingApp;

void choose(ParamCombo* combo, const QString& item) {
    combo->setListIndex(combo->findText(item));
}

void typeInto(ParamCombo* combo, const QString& text) {
    combo->setText(QString());
    QTest::keyClicks(combo->lineEdit(), text);
}

// Over USB every send is one frame, the editors stay open and no meter report follows. Behind a
// Brisko system (Option1) the target prefix goes first.
TEST(ParameterWrite, SendsTheParametersOfTheChosenItems) {
    struct Case {
        bool brisko;
        int n;                                              // terminal
        const char *pulse, *multiplier, *valueIn, *frames;  // hex, one frame per word
    };
    const Case cases[] = {
        {false, 0, "25", "100", "CENTS", "1d544f00a5282100"},
        {false, 3, "5000", "50", "DOLLAR", "1d544f03a5f50000"},
        {false, 1, "2", "75", "DOLLAR", "1d544f01a5010100"},  // the range bit from 75 on
        {false, 2, "DIP", "1000", "CENTS", "1d544f0200000000"},
        {true, 4, "DIP", "5", "DOLLAR", "1d545008 1d544f0400000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        WindowFixture f;
        (c.brisko ? f.w().Option1 : f.w().Option2)->click();
        ASSERT_TRUE(f.idle());
        f.chooseInterface(App::kUsbPosition);
        ASSERT_TRUE(f.connect());
        choose(f.w().cmbPulseValue[c.n], c.pulse);
        choose(f.w().cmbPulseMultiplier[c.n], c.multiplier);
        choose(f.w().cmbValueIn[c.n], c.valueIn);
        f.w().cmdWriteToTarvo[c.n]->click();
        ASSERT_TRUE(f.idle());

        QByteArrayList frames;
        for (const QByteArray& frame : f.usbFrames()) {
            frames << frame.toHex();
        }
        const QByteArray sent = frames.join(' ') + ' ';
        EXPECT_TRUE(sent.startsWith(QByteArray(c.frames) + ' ')) << sent.data();
        EXPECT_TRUE(sent.contains(" 1d4501 ")) << "no reconnect";
        EXPECT_FALSE(f.w().cmdWriteToTarvo[c.n]->isHidden());
        EXPECT_FALSE(f.usb->written().contains(QByteArray::fromHex("808181")));
    }
}

// Not connected: nothing can go out, so the refusal is told apart by the missing
// "PLEASE CONNECT FIRST".
TEST(ParameterWrite, WithoutAChosenItemIsRefusedAndChangesNothing) {
    WindowFixture f;
    App& w = f.w();
    w.PulseInPerPoint[0]->setText("25");
    w.PulseInMultiplier[0]->setText("100");
    w.ValueIn[0]->setText("CENTS");
    w.terminalParameters().ChangeParameters(0);
    typeInto(w.cmbPulseMultiplier[0], "30");
    w.cmdWriteToTarvo[0]->click();
    ASSERT_TRUE(f.idle());
    ASSERT_EQ(f.prompts->messages.size(), 1u);
    EXPECT_EQ(f.prompts->messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(w.SystemMessage->text(), "");
    EXPECT_EQ(w.PulseInMultiplier[0]->text(), "100");
    EXPECT_FALSE(w.cmdWriteToTarvo[0]->isHidden());

    typeInto(w.cmbPulseMultiplier[0], "10");
    w.cmdWriteToTarvo[0]->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.SystemMessage->text(), "PLEASE CONNECT FIRST");
    EXPECT_EQ(w.PulseInMultiplier[0]->text(), "10");
    EXPECT_TRUE(w.cmdWriteToTarvo[0]->isHidden() && w.cmbValueIn[0]->isHidden());
}

TEST(ParameterWrite, ReconnectsAndReadsTheReportAgain) {
    WindowFixture f;
    f.answerMeterRequests(sixPanelReport());
    ASSERT_TRUE(f.connect());
    App& w = f.w();
    w.ValueIn[3]->setText("DOLLAR");
    w.terminalParameters().ChangeParameters(3);
    choose(w.cmbPulseValue[3], "10");
    choose(w.cmbPulseMultiplier[3], "2");
    w.cmdWriteToTarvo[3]->click();
    ASSERT_TRUE(f.idle());
    // The order of write, reconnect and request is pinned end to end; here the panel shows
    // what the board reported, not what was written.
    EXPECT_TRUE(f.serial->sentBytes().contains(QByteArray::fromHex("1d545008 1d544f03a5250000")));
    EXPECT_EQ(w.PulseInPerPoint[3]->text(), "5000");
    EXPECT_EQ(w.cmbPulseMultiplier[3]->listIndex(), 7);
}

TEST(ChangeParameters, ShowsEachEditorByItsBoxAndTheWriteButtonByValueIn) {
    struct Case {
        const char *pulse, *multiplier, *valueIn;
        int pulseItem, multiplierItem, valueInItem;  // -1: nothing selected; -2: hidden
        bool write;
        bool usb = false;  // the USB panels are never edited in place
    };
    const Case cases[] = {{"DIP", "1000", "CENTS", 22, 15, 1, true},
                          {"25", "100", "", 8, 9, -2, false},
                          {"", "", "CENTS", -2, -2, 1, true},
                          {" 25", "2", "cents", -1, 1, -1, true},
                          {"DIP", "1000", "CENTS", -2, -2, -2, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pulse) + "/" + c.multiplier + "/" + c.valueIn);
        WindowFixture f;
        if (c.usb) {
            f.chooseInterface(App::kUsbPosition);
        }
        App& w = f.w();
        w.PulseInPerPoint[1]->setText(c.pulse);
        w.PulseInMultiplier[1]->setText(c.multiplier);
        w.ValueIn[1]->setText(c.valueIn);
        QTest::mousePress(w.PulseInPerPoint[1], Qt::LeftButton, {}, QPoint(2, 2));
        auto state = [](ParamCombo* combo) { return combo->isHidden() ? -2 : combo->listIndex(); };
        EXPECT_EQ(state(w.cmbPulseValue[1]), c.pulseItem);
        EXPECT_EQ(state(w.cmbPulseMultiplier[1]), c.multiplierItem);
        EXPECT_EQ(state(w.cmbValueIn[1]), c.valueInItem);
        EXPECT_EQ(!w.cmdWriteToTarvo[1]->isHidden(), c.write);
    }
}

TEST(TypingAid, SelectsTheItemSpelledAlikeInAnyCase) {
    WindowFixture f;
    App& w = f.w();
    struct Case {
        ParamCombo* combo;
        const char* typed;
        int item;
        const char* shown;
    };
    const Case cases[] = {{w.cmbPulseValue[0], "dip", 22, "DIP"},
                          {w.cmbPulseValue[1], "30", -1, "30"},
                          {w.cmbPulseValue[2], "1000", 18, "1000"},
                          {w.cmbValueIn[0], "cEnTs", 1, "CENTS"},
                          {w.cmbPulseMultiplier[0], "75", 8, "75"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        typeInto(c.combo, c.typed);
        EXPECT_EQ(c.combo->listIndex(), c.item);
        EXPECT_EQ(c.combo->text(), c.shown);
    }
}

// Terminals 1 and 3 "ON"; the same report both times, so no pulses are counted and both
// terminals fail, each told by its number.
TEST(AutoCalibration, AllTerminalsTestsEveryActiveTerminalInTurn) {
    WindowFixture f;
    QByteArray sample = sixPanelReport();
    sample.replace("Current Status: IDLE IDLE PLAY IDLE IDLE IDLE",
                   "Current Status: ON OFF ON OFF OFF OFF");
    ASSERT_TRUE(f.connect());
    f.answerMeterRequests(sample);
    f.w().CmdTerminalToCalibrate->setCurrentIndex(6);
    f.w().CmdAutoCalibrate->click();
    ASSERT_TRUE(f.idle());

    // Behind a Brisko system (the start-up target) every command has its prefix.
    const std::string coins = "1d545006 1d544d31c800 1d545006 1d544d33c800 ";
    const std::string report = "05 1d545003 808181 ";
    const std::string sent = report + coins + coins + coins + coins +
                             "1d545003 1b4331 1d545003 1b4333 1d545003 1d4343 1d545003 1d4343 " +
                             report;
    EXPECT_EQ(f.serial->sentBytes().toHex(' '), QByteArray::fromHex(sent.c_str()).toHex(' '));
    auto refusal = [](const char* text) {
        return FakePrompts::Message{text, MsgButtons::Ok, MsgIcon::Critical,
                                    "ERROR ON CALIBRATION"};
    };
    EXPECT_EQ(f.prompts->messages,
              std::vector({refusal("Can't Calibrate # 1"), refusal("Can't Calibrate # 3")}));
}

TEST(AutoCalibration, WithoutAChosenTerminalSendsNothing) {
    const char* const typed[] = {"", "Terminal 9", "terminal 2", "All"};
    for (const char* text : typed) {
        SCOPED_TRACE(text);
        WindowFixture f;
        ASSERT_TRUE(f.connect());
        auto* combo = f.w().CmdTerminalToCalibrate;
        combo->setCurrentIndex(1);
        combo->setEditText(QString::fromLatin1(text));  // the list position stays at 1
        f.w().CmdAutoCalibrate->click();
        ASSERT_TRUE(f.idle());
        EXPECT_TRUE(f.serial->sentBytes().isEmpty()) << f.serial->sentBytes().toHex().data();
        const FakePrompts::Message refusal{"Please select Terminal", MsgButtons::Ok,
                                           MsgIcon::Critical, "No Terminals Selected"};
        EXPECT_EQ(f.prompts->messages, std::vector{refusal});
    }
}

// Every later wait ends at once; no message of a calibration that did not finish.
TEST(AutoCalibration, ClosingTheWindowEndsIt) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());
    f.answerMeterRequests(sixPanelReport());
    f.w().CmdTerminalToCalibrate->setCurrentIndex(0);
    const auto answer = f.serial->onWrite;
    RetreiveAccountingApp* w = &f.w();
    f.serial->onWrite = [answer, w](const QByteArray& bytes) {
        answer(bytes);
        if (bytes == QByteArray("\xc8")) {  // a coin is going in: the technician closes
            QTimer::singleShot(0, w, [w] { w->close(); });
        }
    };
    f.w().CmdAutoCalibrate->click();
    ASSERT_TRUE(f.idle());
    const QByteArray sent = f.serial->sentBytes();
    EXPECT_FALSE(sent.contains(QByteArray::fromHex("1d4343"))) << sent.toHex().data();
    EXPECT_TRUE(
        sent.endsWith(QByteArray::fromHex("1d4500")));  // the session was closed on the way out
    EXPECT_TRUE(f.prompts->messages.empty());
}

}  // namespace
}  // namespace tarvo::test
