#include <gtest/gtest.h>

#include <QTimer>
#include <functional>
#include <optional>

#include "accounting/meter_report_view.h"
#include "shell/main_window.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using Frames = std::vector<QByteArray>;
using App = RetreiveAccountingApp;

const auto multiplier = [](char input, int n, const char* text) {
    return [=](App& w) {
        (input == 'A' ? w.TxtCoinInMultiA : w.TxtCoinInMultiB)[n]->setText(text);
        (input == 'A' ? w.SendCoinMultiA : w.SendCoinMultiB)[n]->click();
    };
};

// Over USB every send is one transfer, so the test sees where one frame ends. Behind a Brisko
// system (Option1) a target prefix goes in front of every command the board counts.
TEST(Accounting, ActionsSendTheBoardCommandsWithPrefixesOnlyForBrisko) {
    struct Case {
        const char* name;
        std::function<void(App&)> act;
        const char *plain, *brisko;
    };
    auto click = [](QPushButton* App::*button) { return [=](App& w) { (w.*button)->click(); }; };
    const Case cases[] = {
        {"cashout", [](App& w) { w.ForceCashout[2]->click(); }, "1b4333", "1d545003 1b4333"},
        {"coin", [](App& w) { w.PutCoinIn[4]->click(); }, "1d544d35c800", "1d545006 1d544d35c800"},
        {"multiplier A", multiplier('A', 5, "25"), "1d54410519", "1d545005 1d54410519"},
        {"clear memory", click(&App::ClearMemory), "8d 8180", "1d545001 8d 1d545002 8180"},
        {"last cashout", click(&App::ButtonViewLastCashout), "1b4f54 1d4343",
         "1d545003 1b4f54 1d545003 1d4343"},
        {"log", click(&App::CmdViewLog), "1d546c", "1d545003 1d546c"},
        {"key", click(&App::Command1), "1d423131", "1d545004 1d423131"},
        {"view info", click(&App::cmdViewOnly), "05 808181", "05 1d545003 808181"},
    };
    for (const Case& c : cases) {
        for (bool brisko : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (brisko ? " brisko" : ""));
            WindowFixture f;
            (brisko ? f.w().Option1 : f.w().Option2)->click();
            ASSERT_TRUE(f.idle());
            f.chooseInterface(App::kUsbPosition);
            ASSERT_TRUE(f.connect());
            c.act(f.w());
            ASSERT_TRUE(f.idle());
            QByteArrayList frames;  // as hex, one frame per word
            for (const QByteArray& frame : f.usbFrames()) {
                frames << frame.toHex();
            }
            EXPECT_EQ(frames.join(' '), brisko ? c.brisko : c.plain);
        }
    }
}

// The byte sent is always the number typed; what cannot be that byte (nullopt) is refused, and
// an empty box sends nothing at all.
TEST(CoinInMultiplier, SendsTheTypedNumberOrRefusesIt) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"254", 254},  {"255", {}},    {"300", {}}, {"2.5", 2},     {"3.5", 4},
        {"12abc", 12}, {"letters", 0}, {"-1", {}},  {" 7", 7},      {"254.5", 254},
        {"254.6", {}}, {"-0.4", 0},    {"1e9", {}}, {"-1e999", {}}, {"", {}}};
    const FakePrompts::Message refusal{"MAXIMUM VALUE IS 254", MsgButtons::Ok, MsgIcon::None, ""};
    WindowFixture f;
    f.w().Option2->click();
    ASSERT_TRUE(f.idle());
    f.chooseInterface(App::kUsbPosition);
    ASSERT_TRUE(f.connect());
    for (const auto& [text, byte] : cases) {
        SCOPED_TRACE(text);
        f.forgetSent();
        f.prompts->messages.clear();
        multiplier('B', 3, text)(f.w());
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(f.usbFrames(),
                  byte ? Frames{QByteArray::fromHex("1d544203") + char(*byte)} : Frames{});
        const bool refused = !byte && *text;
        EXPECT_EQ(f.prompts->messages,
                  refused ? std::vector{refusal} : std::vector<FakePrompts::Message>{});
    }
}

TEST(ClearMemory, AnsweredNoSendsNothingButEmptiesTheResponse) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());
    f.w().ResponseWindow->setText("old reply");
    f.prompts->answers = {MsgAnswer::No};
    f.w().ClearMemory->click();
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.serial->sentBytes().isEmpty());
    EXPECT_EQ(f.w().ResponseWindow->text(), "");
    EXPECT_EQ(f.w().SystemMessage->text(), "Clear memory canceled");
    const FakePrompts::Message question{
        "Are you sure you want to erase all accounting in the Tarvo Board?", MsgButtons::YesNo,
        MsgIcon::None, "Clear all Memory"};
    EXPECT_EQ(f.prompts->messages, std::vector{question});
}

TEST(MultiDropAddressZero, RefusesTheReadingCommandsOnly) {
    const char* cashout = "Cannot view last cashout with multi drop address of 0";
    const std::pair<QPushButton * App::*, const char*> cases[] = {
        {&App::cmdViewOnly, "Cannot read meters with multi drop address of 0"},
        {&App::ButtonViewLastCashout, cashout},
        {&App::CmdViewLog, cashout},
        {&App::Command1, cashout}};
    WindowFixture f;
    f.w().Option4->click();
    ASSERT_TRUE(f.idle());
    f.w().MultiDropAddress->setCurrentIndex(0);
    ASSERT_TRUE(f.connect());
    for (const auto& [button, text] : cases) {
        SCOPED_TRACE(text);
        f.prompts->messages.clear();
        f.w().ResponseWindow->setText("kept");
        (f.w().*button)->click();
        ASSERT_TRUE(f.idle());
        const FakePrompts::Message refusal{text, MsgButtons::Ok, MsgIcon::Critical,
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
        if (data == QByteArray::fromHex("1d4343")) {
            usb->pushReply("LAST CASHOUT 12.50\r\n");
        }
    };
    f.w().session().ExpectReply = false;
    f.w().ButtonViewLastCashout->click();
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.w().ResponseWindow->text().contains("LAST CASHOUT 12.50"));
}

// The report's tail arrives after the first 1300 characters: the fixed second wait must take
// it in (the last panel's meters stand in the tail). Every box is compared end to end.
TEST(ViewInfo, TheTailAfterTheFirstWaitReachesTheDisplaysAndTheRecord) {
    WindowFixture f({}, 20);
    ASSERT_TRUE(f.connect());
    const QByteArray report = sixPanelReport();
    FakeSerialLine* line = f.serial.get();
    line->onWrite = [line, report](const QByteArray&) {
        if (line->sentBytes().endsWith(QByteArray::fromHex("808181"))) {
            line->receiveLater(report.left(1300));
        }
    };
    // The tail comes on the first tick after the first part, inside the second wait.
    BoardSession& s = f.w().session();
    QObject::connect(s.findChild<QTimer*>("Timer1"), &QTimer::timeout, [&s, line, report] {
        if (s.RxCount == 1300) {
            line->receive(report.mid(1300));
        }
    });
    f.w().cmdViewOnly->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(f.w().CoinInB[5]->text(), "000006005");
    const auto& reading = f.w().meterReport().lastReading();
    ASSERT_TRUE(reading);
    ASSERT_EQ(reading->terminals.size(), 6u);
    EXPECT_EQ(reading->terminals[5].coinInB, "000006005");
    EXPECT_EQ(reading->terminals[5].coinInMultiplierB, "12");
}

TEST(ViewInfo, BelowTwelveHundredCharactersOnlyTheErrorTextStands) {
    // 1250 characters end the first wait on its time limit, yet are a report.
    for (const int length : {1199, 1250}) {
        SCOPED_TRACE(length);
        WindowFixture f;
        f.answerMeterRequests(sixPanelReport().left(length));
        ASSERT_TRUE(f.connect());
        f.w().CoinInA[0]->setText("old");
        f.w().cmdViewOnly->click();
        ASSERT_TRUE(f.idle());
        const bool error = length < 1200;
        EXPECT_EQ(f.w().SystemMessage->text() == "ERROR! Problems getting data from Tarvo Board",
                  error);
        EXPECT_EQ(f.w().PrinterFirmware->text(), error ? "" : "PRN-V1.02");
        EXPECT_EQ(f.w().CoinInA[0]->text(), error ? "" : "000001004");
        EXPECT_EQ(f.w().cmbPulseValue[0]->isHidden(), error);
        EXPECT_EQ(f.w().meterReport().lastReading().has_value(), !error);
        EXPECT_TRUE(f.w().cmdViewOnly->isEnabled());
    }
}

TEST(ViewInfo, ClosingTheWindowDuringTheWaitEndsTheReadUntouched) {
    // The close comes once the meter request is out, so inside the wait for the report.
    WindowFixture f({}, 40);
    ASSERT_TRUE(f.connect());
    FakeSerialLine* line = f.serial.get();
    line->onWrite = [&f, line](const QByteArray&) {
        if (line->sentBytes().endsWith(QByteArray::fromHex("808181"))) {
            QTimer::singleShot(0, &f.w(), [&f] { f.w().close(); });
        }
    };
    f.w().cmdViewOnly->click();
    ASSERT_TRUE(f.idle());
    EXPECT_NE(f.w().SystemMessage->text(), "ERROR! Problems getting data from Tarvo Board");
    EXPECT_FALSE(f.w().cmdViewOnly->isEnabled());
}

}  // namespace
}  // namespace tarvo::test
