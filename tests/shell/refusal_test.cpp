#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTimer>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "accounting/meter_history_view.h"
#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "location_law_clock/location_law_clock.h"
#include "support/window_fixture.h"

// A command the link refuses is never reported as sent, and a refused memory clear is not
// recorded in the meter history.
namespace tarvo::test {
namespace {

using App = RetreiveAccountingApp;

int memoryClearsIn(const QString& path) {
    if (!QFile::exists(path)) {
        return 0;
    }
    int count = 0;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(QStringLiteral("SELECT COUNT(*) FROM memory_clears"), db);
            count = q.next() ? q.value(0).toInt() : 0;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return count;
}

TEST(Refusal, NoSuccessTextAndNoClearRecordedAfterARefusedFrame) {
    const std::pair<const char*, std::function<void(App&)>> buttons[] = {
        {"time", [](App& w) { w.locationLawClock().ButtonSendTimeAndDate_Click(); }},
        {"location", [](App& w) { w.locationLawClock().ButtonSendLocationInfo_Click(); }},
        {"law", [](App& w) { w.locationLawClock().ButtonSendLawInfo_Click(); }},
        {"clear", [](App& w) { w.remoteActions().ClearMemory_Click(); }},
    };
    struct Case {
        const char* name;
        std::function<void(WindowFixture&)> arrange;  // after connecting
        QString status;
    } cases[] = {
        {"no connection", [](WindowFixture& f) { f.w().Connect->click(); }, "PLEASE CONNECT FIRST"},
        {"invalid address",
         [](WindowFixture& f) {
             // The address can change only while disconnected.
             f.w().Connect->click();
             ASSERT_TRUE(f.idle());
             f.w().MultiDropAddress->setEditText(QStringLiteral("5x"));
             ASSERT_TRUE(f.connect());
         },
         "INVALID MULTI DROP ADDRESS"},
        {"port gone without a word", [](WindowFixture& f) { f.serial->close(); },
         "CONNECTION LOST"},
    };
    for (const auto& c : cases) {
        for (const auto& [button, click] : buttons) {
            SCOPED_TRACE(std::string(c.name) + " / " + button);
            WindowFixture f;
            App& w = f.w();
            w.Option4->click();
            ASSERT_TRUE(f.idle());
            w.MultiDropAddress->setCurrentIndex(3);
            ASSERT_TRUE(f.connect());
            c.arrange(f);
            ASSERT_TRUE(f.idle());
            f.forgetSent();
            click(w);
            ASSERT_TRUE(f.idle());
            EXPECT_EQ(w.SystemMessage->text(), c.status);
            EXPECT_TRUE(f.serial->sent.empty());
            EXPECT_EQ(memoryClearsIn(f.historyPath()), 0);
        }
    }
}

// The same buttons on a line that takes the frames say so, and the clear is recorded.
TEST(Refusal, AFrameTakenIsReportedAsSent) {
    WindowFixture f;
    App& w = f.w();
    ASSERT_TRUE(f.connect());
    w.locationLawClock().ButtonSendTimeAndDate_Click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.SystemMessage->text(), "Time and Date Sent");
    w.remoteActions().ClearMemory_Click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.SystemMessage->text(), "Clearing memory, please wait 30 seconds...");
    // The clear is recorded after its handler returned, off the window's thread.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return memoryClearsIn(f.historyPath()) == 1 && !w.meterHistory().busy(); }));
}

// A device that goes away during View Info: "CONNECTION LOST" stays on screen and View Info
// stays disabled while nothing is connected.
TEST(Refusal, UnpluggingDuringViewInfoLeavesTheLossOnScreen) {
    WindowFixture f({}, 20);
    App& w = f.w();
    ASSERT_TRUE(f.connect());
    FakeSerialLine* line = f.serial.get();
    line->onWrite = [line](const QByteArray&) {
        if (line->sentBytes().endsWith(QByteArray("\x80\x81\x81"))) {
            line->receiveLater("partial report");
            QTimer::singleShot(0, line, [line] {  // after the partial report
                line->close();
                emit line->lineLost(QStringLiteral("device removed"));
            });
        }
    };
    w.cmdViewOnly->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.SystemMessage->text(), "CONNECTION LOST");
    EXPECT_EQ(w.Connect->text(), "Connect");
    EXPECT_FALSE(w.cmdViewOnly->isEnabled());
    EXPECT_FALSE(w.ButtonSendTimeAndDate->isEnabled());
    EXPECT_EQ(w.session().Connected, 0);
    ASSERT_EQ(f.prompts->messages.size(), 1u);
    EXPECT_TRUE(f.prompts->messages[0].text.contains("device removed"));
}

// Over USB a write the board did not take is no send, also when no reply is read after it:
// the link ends once, says why, and the button does not claim success.
TEST(Refusal, AUsbWriteFaultIsNoSend) {
    WindowFixture f;
    App& w = f.w();
    f.chooseInterface(App::kUsbPosition);
    ASSERT_TRUE(f.connect());
    f.usb->fault = UsbLibrary::kUsbStall;
    w.ButtonSendTimeAndDate->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(f.usb->callNames().count("USB_Read"), 0) << "the write alone must tell";
    EXPECT_EQ(w.SystemMessage->text(), "CONNECTION LOST");
    EXPECT_EQ(w.Connect->text(), "Connect");
    ASSERT_EQ(f.prompts->messages.size(), 1u);
    EXPECT_TRUE(
        f.prompts->messages[0].text.contains(UsbLibrary::statusText(UsbLibrary::kUsbStall)));
}

}  // namespace
}  // namespace tarvo::test
