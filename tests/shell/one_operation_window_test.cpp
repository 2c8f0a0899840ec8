#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "accounting/cashout_log.h"
#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "location_law_clock/location_law_clock.h"
#include "pulse_editor/frm_set_pulses.h"
#include "support/window_fixture.h"

// While one board command runs, every other one in both windows is disabled, and one that
// reaches its handler anyway is refused without a byte on the line.
namespace tarvo::test {
namespace {

using App = RetreiveAccountingApp;

// Runs `during` once, as soon as the meter request has gone out.
void onMeterRequest(WindowFixture& f, std::function<void()> during) {
    FakeSerialLine* line = f.serial.get();
    const auto answer = line->onWrite;
    auto pending = std::make_shared<std::function<void()>>(std::move(during));
    line->onWrite = [line, answer, pending](const QByteArray& bytes) {
        if (answer) {
            answer(bytes);
        }
        if (*pending && line->sentBytes().endsWith(QByteArray("\x80\x81\x81"))) {
            QTimer::singleShot(0, line, [fn = std::move(*pending)] { fn(); });
            *pending = nullptr;
        }
    };
}

TEST(OneOperationWindow, OtherCommandsDuringViewInfoAreDisabledAndRefused) {
    WindowFixture f;
    App& w = f.w();
    ASSERT_TRUE(f.connect());
    w.Command3->click();  // the pulse window's READ and WRITE are board commands too
    FrmSetPulses* pulses = w.pulseWindow();
    ASSERT_NE(pulses, nullptr);
    f.answerMeterRequests(sixPanelReport());
    QStringList enabledDuring;
    QByteArray sentDuring;
    onMeterRequest(f, [&] {
        for (QWidget* c : std::initializer_list<QWidget*>{
                 w.ButtonSendTimeAndDate, w.ClearMemory, w.ForceCashout[0], w.PutCoinIn[2],
                 w.cmdViewOnly, w.CmdAutoCalibrate, pulses->CmdRead, pulses->CmdWrite}) {
            if (c->isEnabled()) {
                enabledDuring << c->objectName();
            }
        }
        EXPECT_TRUE(w.Connect->isEnabled());  // Disconnect stays
        const QByteArray before = f.serial->sentBytes();
        // Handlers reached anyway (a shortcut, a queued click).
        w.locationLawClock().ButtonSendTimeAndDate_Click();
        w.remoteActions().ForceCashout_Click(0);
        w.cashoutLog().CmdViewLog_Click();
        w.meterReport().cmdViewOnly_Click();
        sentDuring = f.serial->sentBytes().mid(before.size());
    });
    w.cmdViewOnly->click();
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(enabledDuring.isEmpty()) << enabledDuring.join(' ').toStdString();
    EXPECT_TRUE(sentDuring.isEmpty()) << sentDuring.toHex().data();
    // View Info ends as if alone: the displays and the record are the board's.
    EXPECT_EQ(w.CoinInA[0]->text(), "000001004");
    EXPECT_EQ(w.PrinterFirmware->text(), "PRN-V1.02");
    EXPECT_TRUE(w.meterReport().lastReading().has_value());
    for (QWidget* c : std::initializer_list<QWidget*>{w.ButtonSendTimeAndDate, w.cmdViewOnly,
                                                      pulses->CmdRead, w.PutCoinIn[2]}) {
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    }
}

// A coin put in during a calibration would change the counted difference: it is refused and
// the calibration sends exactly what it sends alone.
TEST(OneOperationWindow, ACoinInDuringCalibrationIsRefused) {
    QByteArray alone;
    for (const bool interfere : {false, true}) {
        SCOPED_TRACE(interfere);
        WindowFixture f;
        App& w = f.w();
        ASSERT_TRUE(f.connect());
        f.answerMeterRequests(sixPanelReport());
        if (interfere) {
            onMeterRequest(f, [&] { w.remoteActions().PutCoinIn_Click(1); });
        }
        w.CmdTerminalToCalibrate->setCurrentIndex(0);
        w.CmdAutoCalibrate->click();
        ASSERT_TRUE(f.idle());
        if (!interfere) {
            alone = f.serial->sentBytes();
            ASSERT_FALSE(alone.isEmpty());
        } else {
            EXPECT_EQ(f.serial->sentBytes().toHex(' '), alone.toHex(' '));
        }
    }
}

// Disconnect during View Info ends the read; the close goes out once the read has returned,
// never inside one of its frames, and the window is left disconnected.
TEST(OneOperationWindow, DisconnectDuringViewInfoEndsItCleanly) {
    WindowFixture f({}, 40);
    App& w = f.w();
    w.Option4->click();
    w.MultiDropAddress->setCurrentIndex(3);
    ASSERT_TRUE(f.connect());
    onMeterRequest(f, [&] { w.Connect->click(); });
    w.cmdViewOnly->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Connect->text() == "Connect" && f.idle(); }));
    EXPECT_EQ(w.Connect->text(), "Connect");
    EXPECT_EQ(w.session().Connected, 0);
    EXPECT_EQ(w.SystemMessage->text(), "Disconneted");
    EXPECT_FALSE(w.cmdViewOnly->isEnabled());
    // Enquiry, meter request, close session: each whole behind its address and length.
    EXPECT_EQ(f.serial->sentBytes().toHex(' '),
              QByteArray("03 01 05 03 03 80 81 81 03 03 1d 45 00"));
}

}  // namespace
}  // namespace tarvo::test
