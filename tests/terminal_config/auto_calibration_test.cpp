#include <gtest/gtest.h>

#include <QTimer>

#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
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
    EXPECT_EQ(f.serial->sentBytes().toHex().toStdString(),
              hex((report + coins + coins + coins + coins +
                   "1d545003 1b4331 1d545003 1b4333 1d545003 1d4343 1d545003 1d4343 " + report)
                      .c_str())
                  .toHex()
                  .toStdString());
    EXPECT_EQ(f.prompts->messageTexts(),
              QStringList({"Can't Calibrate # 1", "Can't Calibrate # 3"}));
    for (const auto& m : f.prompts->messages) {
        EXPECT_EQ(m.title, "ERROR ON CALIBRATION");
        EXPECT_EQ(m.icon, MsgIcon::Critical);
    }
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
        ASSERT_EQ(f.prompts->messages.size(), 1u);
        EXPECT_EQ(f.prompts->messages[0],
                  (FakePrompts::Message{"Please select Terminal", MsgButtons::Ok, MsgIcon::Critical,
                                        "No Terminals Selected"}));
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
    EXPECT_FALSE(sent.contains(hex("1d4343"))) << sent.toHex().data();
    EXPECT_TRUE(sent.endsWith(hex("1d4500")));  // the session was closed on the way out
    EXPECT_TRUE(f.prompts->messages.empty());
}

}  // namespace
}  // namespace tarvo::test
