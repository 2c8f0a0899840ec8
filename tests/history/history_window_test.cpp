#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "accounting/meter_history_view.h"
#include "accounting/meter_report_view.h"
#include "history/meter_history.h"
#include "history_window/history_table.h"
#include "history_window/meter_history_window.h"
#include "pdf_text.h"
#include "postgres_server.h"
#include "support/board_harness.h"
#include "support/window_fixture.h"

// The window keeps each View Info and shows on the meter displays what changed since the last.
namespace tarvo::test {
namespace {

bool flagged(const QLineEdit* box) {
    return box->palette().color(QPalette::Base) != QApplication::palette(box).color(QPalette::Base);
}

// Reads the meters and lets the window keep (and send) the reading: it starts from a
// zero-time timer queued before this one.
void viewInfo(RetreiveAccountingApp& w) {
    w.cmdViewOnly->click();
    ASSERT_TRUE(QTest::qWaitFor([&w] { return !w.session().busy(); }, 20000));
    bool queued = false;
    QTimer::singleShot(0, [&] { queued = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return queued && !w.meterHistory().busy(); }, 20000));
}

// A history that cannot be kept, or a board whose readings cannot be, leaves the View Info
// working; why is said once.
TEST(MeterHistoryWindow, AHistoryNotKeptLeavesTheViewWorkingAndSaysSoOnce) {
    enum Fault { Damaged, Unwritable, NoSerial };
    for (const Fault fault : {Damaged, Unwritable, NoSerial}) {
        SCOPED_TRACE(fault);
        WindowFixture f;
        QByteArray report = sixPanelReport();
        if (fault == Damaged) {
            QFile garbage(f.historyPath());
            ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
            garbage.write(QByteArray(2048, '\x13'));
        } else if (fault == Unwritable) {
            // A folder where the file should be: nothing can be opened or written there.
            ASSERT_TRUE(QDir().mkpath(f.historyPath()));
        } else {
            report.replace("  SERIAL # 00123456\r\n", "  SERIAL # \r\n");
        }
        f.answerMeterRequests(report);
        ASSERT_TRUE(f.connect());
        const QString said = fault == Damaged      ? "The meter history was damaged"
                             : fault == Unwritable ? "Meter history not kept"
                                                   : "This board has no serial number";
        QDateTime previous;
        for (int read = 0; read < 2; ++read) {
            viewInfo(f.w());
            EXPECT_EQ(f.w().Received[0]->text(), QStringLiteral("000001001"));
            EXPECT_EQ(f.w().ResponseWindow->text().count(said), read == 0 ? 1 : 0);
            EXPECT_EQ(f.w().Received[0]->toolTip(),
                      fault != Damaged ? QString()
                      : read == 0
                          ? QStringLiteral("First reading of this board")
                          : QStringLiteral("No change since %1")
                                .arg(previous.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
            previous = f.w().meterReport().lastReading()->time;
        }
        // Also in a box, once in the session: the response box is cleared by the next command.
        ASSERT_EQ(f.prompts->messages.size(), 1u);
        EXPECT_TRUE(f.prompts->messages[0].text.startsWith(said))
            << f.prompts->messages[0].text.toStdString();
        if (fault == Damaged) {
            const auto aside = QDir(QFileInfo(f.historyPath()).path())
                                   .entryList({QStringLiteral("meter-history.sqlite.corrupt-*")});
            EXPECT_EQ(aside.size(), 1);
        } else if (fault == NoSerial) {
            EXPECT_EQ(f.w().TarvoBoardSerialNumber->text(), "NOT SET");
            EXPECT_FALSE(QFile::exists(f.historyPath()));
        }
    }
}

// Ctrl+H and the History button open one window on the board read last; Ctrl+P opens it on
// the last reading, ready to print with the location on its report.
TEST(MeterHistoryWindow, CtrlHAndTheButtonOpenOneWindowAndCtrlPTheLastReadingToPrint) {
    WindowFixture f;
    auto& w = f.w();
    f.answerMeterRequests(sixPanelReport());
    ASSERT_TRUE(f.connect());
    viewInfo(w);
    w.txtLocationInfo[1]->setText("Harbour Arcade");
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_H, Qt::ControlModifier);
    QPointer<MeterHistoryWindow> history = qobject_cast<MeterHistoryWindow*>(w.historyWindow());
    ASSERT_TRUE(history);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->windowTitle(), "Meter History");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !history->loading() && !history->serial().isEmpty(); }));
    EXPECT_EQ(history->serial(), w.TarvoBoardSerialNumber->text());
    EXPECT_EQ(history->model().rowCount(), 1);
    w.cmdHistory->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.historyWindow(), history);
    EXPECT_TRUE(w.cmdHistory->isEnabled());
    // Closed, Ctrl+P opens it anew.
    history->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.historyWindow(); }));
    auto ctrlP = [&](int newest) {
        w.activateWindow();  // not the Meter History window
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &w; }));
        QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
        history = qobject_cast<MeterHistoryWindow*>(w.historyWindow());
        ASSERT_TRUE(history);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return !history->loading() && history->chosenReading() == newest &&
                   history->focusWidget() == history->cmdPrint;
        })) << history->chosenReading()
            << " " << history->loading() << " "
            << (history->focusWidget() ? history->focusWidget()->objectName().toStdString() : "-");
    };
    ASSERT_NO_FATAL_FAILURE(ctrlP(0));
    // Open on an older reading, Ctrl+P goes to the one read last.
    viewInfo(w);
    history->followNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return history->model().rowCount() == 2; }));
    history->table->selectRow(1);
    history->cmdSavePdf->setFocus();
    ASSERT_EQ(history->chosenReading(), 0);
    ASSERT_NO_FATAL_FAILURE(ctrlP(1));
    const QString path = QFileInfo(f.historyPath()).dir().filePath("report.pdf");
    f.files->answer(path);
    history->cmdSavePdf->click();
    const QString text = pdfText(path);
    EXPECT_TRUE(hasRow(text, {"Serial", w.TarvoBoardSerialNumber->text()})) << text.toStdString();
    EXPECT_TRUE(hasRow(text, {"Location", "Harbour Arcade"}));
    EXPECT_TRUE(hasRow(text, {"Received", "000001001", "000002001", "000003001", "000004001",
                              "000005001", "000006001"}));
}

TEST(MeterHistoryWindow, InTerminalModeCtrlHAndCtrlPStayTheBoards) {
    WindowFixture f;
    auto& w = f.w();
    w.Option2->click();  // no system prefix before each frame
    ASSERT_TRUE(f.connect());
    w.ButtonTerminalMode->click();
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(w.TerminalModeOn);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.ResponseWindow->setFocus();
    f.forgetSent();
    QTest::keyClick(w.ResponseWindow, Qt::Key_H, Qt::ControlModifier);
    QTest::keyClick(w.ResponseWindow, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.historyWindow(), nullptr);
    EXPECT_EQ(f.serial->sentBytes(), QByteArray("\x08\x10"));
}

// Two laptops on one central history: each sees the other's reading, and neither waits for
// a server that has gone away.
TEST(MeterHistoryWindow, WithACentralHistoryTheToolTipsComeFromItAndNothingWaitsForIt) {
    QString why;
    PostgresServer* server = PostgresServer::shared(&why);
    ASSERT_TRUE(server) << why.toStdString();
    const QString url = server->newDatabase();
    auto central = [&](MemorySettingsStore& s) { s.setValue("History", "Database", url); };
    WindowFixture first(central), second(central);
    auto tip = [](WindowFixture& f) { return f.w().Received[0]->toolTip(); };
    auto read = [&](WindowFixture& f) {
        viewInfo(f.w());
        return QTest::qWaitFor([&] { return !tip(f).isEmpty(); }, 20000);
    };
    for (auto* f : {&first, &second}) {
        f->answerMeterRequests(sixPanelReport());
        ASSERT_TRUE(f->connect());
    }
    ASSERT_TRUE(read(first));
    EXPECT_EQ(tip(first), "First reading of this board");
    const QDateTime firstTime = first.w().meterReport().lastReading()->time;
    ASSERT_TRUE(read(second));
    EXPECT_EQ(tip(second), "No change since " + firstTime.toString("yyyy-MM-dd HH:mm"));

    ASSERT_TRUE(server->stop());
    ASSERT_TRUE(read(second));  // kept in the file, compared there
    EXPECT_TRUE(second.w().ResponseWindow->text().contains("central meter history cannot be used"));
    EXPECT_EQ(second.prompts->messages.size(), 1u);
    ASSERT_TRUE(server->start());
    ASSERT_TRUE(read(second));
    const auto all = MeterHistory::central(url)->readings();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 4u);
    EXPECT_TRUE(first.prompts->messages.empty());
}

TEST(MeterHistoryEndToEnd, CoinsShowOnTheTooltipsADropIsFlaggedButNotAfterClearMemory) {
    BoardHarness h;
    auto& w = h.w();
    auto& board = h.board().state().terminals[0];
    board.received = 1000;
    w.Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    viewInfo(w);
    EXPECT_EQ(w.Received[0]->toolTip(), QStringLiteral("First reading of this board"));

    w.PutCoinIn[0]->click();
    ASSERT_TRUE(h.idle());
    h.settle(300);
    viewInfo(w);
    const QString since = QStringLiteral(" since ");
    EXPECT_EQ(w.Received[0]->toolTip().section(since, 0, 0),
              QStringLiteral("+%1").arg(board.pulsesPerCoin));
    EXPECT_EQ(w.CoinInA[0]->toolTip().section(since, 0, 0), QStringLiteral("+1"));
    EXPECT_TRUE(w.PaidOut[0]->toolTip().startsWith(QStringLiteral("No change since")));
    EXPECT_FALSE(flagged(w.Received[0]));

    // The board's own meters drop: flagged with what they were.
    board.received -= 10;
    viewInfo(w);
    EXPECT_TRUE(flagged(w.Received[0]));
    EXPECT_TRUE(w.Received[0]->toolTip().endsWith(QStringLiteral(": went down by 10")))
        << w.Received[0]->toolTip().toStdString();
    EXPECT_FALSE(flagged(w.Returned[0]));

    // After Clear Memory from here the lower meters are expected.
    w.ClearMemory->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(h.waitFor([&] { return board.received == 0; }));
    h.settle(300);
    viewInfo(w);
    EXPECT_EQ(w.Received[0]->text().toLongLong(), 0);
    EXPECT_FALSE(flagged(w.Received[0]));
    EXPECT_TRUE(w.Received[0]->toolTip().startsWith(QStringLiteral("Memory cleared on")));
}

}  // namespace
}  // namespace tarvo::test
