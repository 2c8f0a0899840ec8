#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>
#include <optional>

#include "shell/main_window.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using Frames = std::vector<QByteArray>;
using App = RetreiveAccountingApp;

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

struct FramesCase {
    const char* name;
    bool brisko;
    std::function<void(App&)> act;
    Frames expected;
};

// Over USB every send is one transfer, so the test sees where one frame ends.
class ActionFrames : public ::testing::TestWithParam<FramesCase> {};

TEST_P(ActionFrames, SendsTheBoardCommandsWithPrefixesOnlyForBrisko) {
    const FramesCase& c = GetParam();
    WindowFixture f;
    (c.brisko ? f.w().Option1 : f.w().Option2)->click();
    f.chooseInterface(App::kUsbPosition);
    ASSERT_TRUE(f.connect());
    c.act(f.w());
    EXPECT_EQ(f.usbFrames(), c.expected);
}

const auto clickAction = [](auto member) { return [member](App& w) { (w.*member)->click(); }; };
const auto multiplier = [](char input, int n, const char* text) {
    return [=](App& w) {
        auto& boxes = input == 'A' ? w.TxtCoinInMultiA : w.TxtCoinInMultiB;
        auto& buttons = input == 'A' ? w.SendCoinMultiA : w.SendCoinMultiB;
        boxes[n]->setText(text);
        buttons[n]->click();
    };
};

INSTANTIATE_TEST_SUITE_P(
    Accounting, ActionFrames,
    ::testing::Values(
        FramesCase{"CashoutOfThirdPanel",
                   false,
                   [](App& w) { w.ForceCashout[2]->click(); },
                   {hex("1b4333")}},
        FramesCase{"CashoutBrisko",
                   true,
                   [](App& w) { w.ForceCashout[0]->click(); },
                   {hex("1d545003"), hex("1b4331")}},
        FramesCase{"CoinInBrisko",
                   true,
                   [](App& w) { w.PutCoinIn[0]->click(); },
                   {hex("1d545006"), hex("1d544d31c800")}},
        FramesCase{"CoinIn", false, [](App& w) { w.PutCoinIn[4]->click(); }, {hex("1d544d35c800")}},
        FramesCase{"MultiplierAOfSixthPanel", false, multiplier('A', 5, "25"), {hex("1d54410519")}},
        FramesCase{"MultiplierBBrisko",
                   true,
                   multiplier('B', 1, "254"),
                   {hex("1d545005"), hex("1d544201fe")}},
        FramesCase{"ClearMemoryBrisko",
                   true,
                   clickAction(&App::ClearMemory),
                   {hex("1d545001"), hex("8d"), hex("1d545002"), hex("8180")}},
        FramesCase{"ClearMemory", false, clickAction(&App::ClearMemory), {hex("8d"), hex("8180")}},
        FramesCase{"LastCashoutBrisko",
                   true,
                   clickAction(&App::ButtonViewLastCashout),
                   {hex("1d545003"), hex("1b4f54"), hex("1d545003"), hex("1d4343")}},
        FramesCase{"LastCashout",
                   false,
                   clickAction(&App::ButtonViewLastCashout),
                   {hex("1b4f54"), hex("1d4343")}},
        FramesCase{"Log", false, clickAction(&App::CmdViewLog), {hex("1d546c")}},
        FramesCase{
            "LogBrisko", true, clickAction(&App::CmdViewLog), {hex("1d545003"), hex("1d546c")}},
        FramesCase{"Key", false, clickAction(&App::Command1), {hex("1d423131")}},
        FramesCase{
            "KeyBrisko", true, clickAction(&App::Command1), {hex("1d545004"), hex("1d423131")}},
        FramesCase{"ViewInfo", false, clickAction(&App::cmdViewOnly), {hex("05"), hex("808181")}},
        FramesCase{"ViewInfoBrisko",
                   true,
                   clickAction(&App::cmdViewOnly),
                   {hex("05"), hex("1d545003"), hex("808181")}}),
    [](const auto& info) { return std::string(info.param.name); });

// The byte sent is always the number typed; what cannot be that byte is refused.
TEST(CoinInMultiplier, SendsTheTypedNumberOrRefusesIt) {
    struct Case {
        const char* text;
        std::optional<int> byte;  // nullopt: refused
    };
    const Case cases[] = {{"254", 254},  {"255", {}},    {"300", {}}, {"2.5", 2},    {"3.5", 4},
                          {"12abc", 12}, {"letters", 0}, {"-1", {}},  {" 7", 7},     {"254.5", 254},
                          {"254.6", {}}, {"-0.4", 0},    {"1e9", {}}, {"-1e999", {}}};
    WindowFixture f;
    f.w().Option2->click();
    f.chooseInterface(App::kUsbPosition);
    ASSERT_TRUE(f.connect());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        f.forgetSent();
        f.prompts->messages.clear();
        multiplier('B', 3, c.text)(f.w());
        if (c.byte) {
            EXPECT_EQ(f.usbFrames(), Frames{hex("1d544203") + char(*c.byte)});
            EXPECT_TRUE(f.prompts->messages.empty());
        } else {
            EXPECT_TRUE(f.usbFrames().empty());
            const FakePrompts::Message refusal{"MAXIMUM VALUE IS 254", MsgButtons::Ok,
                                               MsgIcon::None, ""};
            EXPECT_EQ(f.prompts->messages, std::vector{refusal});
        }
    }
    f.forgetSent();
    f.prompts->messages.clear();
    multiplier('A', 3, "")(f.w());
    EXPECT_TRUE(f.usbFrames().empty() && f.prompts->messages.empty());
}

TEST(CoinInMultiplier, EditingResetsTheBackgroundEvenToAnEmptyText) {
    WindowFixture f;
    for (QLineEdit* box : {f.w().TxtCoinInMultiA[2], f.w().TxtCoinInMultiB[4]}) {
        box->setText("25");
        QPalette red = box->palette();
        red.setColor(QPalette::Base, Qt::red);
        box->setPalette(red);
        box->setText("");
        EXPECT_EQ(box->palette().color(QPalette::Base),
                  QApplication::palette(box).color(QPalette::Base));
    }
}

TEST(ClearMemory, AnsweredNoSendsNothingButEmptiesTheResponse) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());
    f.w().ResponseWindow->setText("old reply");
    f.prompts->answers = {MsgAnswer::No};
    f.w().ClearMemory->click();
    EXPECT_TRUE(f.serial->sentBytes().isEmpty());
    EXPECT_EQ(f.w().ResponseWindow->text(), "");
    EXPECT_EQ(f.w().SystemMessage->text(), "Clear memory canceled");
    const FakePrompts::Message question{
        "Are you sure you want to erase all accounting in the Tarvo Board?", MsgButtons::YesNo,
        MsgIcon::None, "Clear all Memory"};
    EXPECT_EQ(f.prompts->messages, std::vector{question});
}

TEST(MultiDropAddressZero, RefusesTheReadingCommandsOnly) {
    struct Case {
        QPushButton* App::*button;
        const char* text;
    };
    const Case cases[] = {
        {&App::cmdViewOnly, "Cannot read meters with multi drop address of 0"},
        {&App::ButtonViewLastCashout, "Cannot view last cashout with multi drop address of 0"},
        {&App::CmdViewLog, "Cannot view last cashout with multi drop address of 0"},
        {&App::Command1, "Cannot view last cashout with multi drop address of 0"}};
    WindowFixture f;
    f.w().Option4->click();
    f.w().MultiDropAddress->setCurrentIndex(0);
    ASSERT_TRUE(f.connect());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        f.prompts->messages.clear();
        f.w().ResponseWindow->setText("kept");
        (f.w().*c.button)->click();
        const FakePrompts::Message refusal{c.text, MsgButtons::Ok, MsgIcon::Critical,
                                           "ILLEGAL COMMAND"};
        EXPECT_EQ(f.prompts->messages, std::vector{refusal});
        EXPECT_TRUE(f.serial->sentBytes().isEmpty());
        EXPECT_EQ(f.w().ResponseWindow->text(), "kept");
    }
    f.w().PutCoinIn[0]->click();  // actions that read nothing go to address 0 all the same
    EXPECT_FALSE(f.serial->sentBytes().isEmpty());
}

// Over USB the reply is read only while ExpectReply is set; the cash-out must show even after a
// command that cleared it.
TEST(LastCashout, ReadsTheReplyOverUsbWhateverTheFlagWas) {
    WindowFixture f;
    f.chooseInterface(App::kUsbPosition);
    ASSERT_TRUE(f.connect());
    FakeUsbLibrary* usb = f.usb.get();
    usb->onWrite = [usb](const QByteArray& data) {
        if (data == hex("1d4343")) {
            usb->pushReply("LAST CASHOUT 12.50\r\n");
        }
    };
    f.w().ExpectReply = false;
    f.w().ButtonViewLastCashout->click();
    EXPECT_TRUE(f.w().ResponseWindow->text().contains("LAST CASHOUT 12.50"));
}

// The report's tail arrives after the first 1300 characters: the fixed second wait must take
// it in (the last panel's meters stand in the tail).
TEST(ViewInfo, FillsTheDisplaysFromTheReport) {
    WindowFixture f({}, 20);
    ASSERT_TRUE(f.connect());
    const QByteArray report = sixPanelReport();
    FakeSerialLine* line = f.serial.get();
    line->onWrite = [line, report](const QByteArray&) {
        if (line->sentBytes().endsWith(QByteArray::fromHex("808181"))) {
            line->receiveLater(report.left(1300));
            QTimer::singleShot(60, line, [line, report] { line->receive(report.mid(1300)); });
        }
    };
    App& w = f.w();
    w.cmdViewOnly->click();
    EXPECT_TRUE(w.cmdViewOnly->isEnabled());
    EXPECT_EQ(w.PrinterFirmware->text(), "PRN-V1.02");
    EXPECT_EQ(w.PrinterStatus->text(), "No Errors");
    EXPECT_EQ(w.SystemMessage->text(), "Printer OK");
    EXPECT_EQ(w.TarvoBoardSerialNumber->text(), "00123456");
    EXPECT_EQ(w.FirmwareVersion->text(), "BRD-V2.05");
    EXPECT_EQ(w.PrintMoneyOrPoints[1]->text(), "POINTS");
    EXPECT_EQ(w.Status[2]->text(), "PLAY");
    EXPECT_EQ(w.TxtCoinInMultiB[5]->text(), "12");
    EXPECT_EQ(w.Received[2]->text(), "000003001");
    EXPECT_EQ(w.CoinInB[5]->text(), "000006005");
    // The parameter editors open on the reported values.
    EXPECT_FALSE(w.cmbPulseValue[1]->isHidden());
    EXPECT_EQ(w.cmbPulseValue[1]->listIndex(), 22);
    EXPECT_EQ(w.cmbPulseMultiplier[1]->listIndex(), 15);
    EXPECT_EQ(w.cmbValueIn[0]->text(), "CENTS");
    EXPECT_FALSE(w.cmdWriteToTarvo[5]->isHidden());
}

TEST(ViewInfo, ShortReplyLeavesOnlyTheErrorText) {
    WindowFixture f;
    f.answerMeterRequests(QByteArray(1199, 'x'));
    ASSERT_TRUE(f.connect());
    f.w().CoinInA[0]->setText("old");
    f.w().cmdViewOnly->click();
    EXPECT_EQ(f.w().SystemMessage->text(), "ERROR! Problems getting data from Tarvo Board");
    EXPECT_EQ(f.w().CoinInA[0]->text(), "");
    EXPECT_TRUE(f.w().cmbPulseValue[0]->isHidden());
    EXPECT_TRUE(f.w().cmdViewOnly->isEnabled());
}

TEST(ViewInfo, ClosingTheWindowDuringTheWaitEndsTheReadUntouched) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());
    QTimer::singleShot(20, &f.w(), [&f] { f.w().close(); });
    f.w().cmdViewOnly->click();
    EXPECT_NE(f.w().SystemMessage->text(), "ERROR! Problems getting data from Tarvo Board");
    EXPECT_FALSE(f.w().cmdViewOnly->isEnabled());
}

}  // namespace
}  // namespace tarvo::test
