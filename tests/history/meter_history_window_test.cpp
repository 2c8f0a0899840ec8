#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include "accounting/meter_history_view.h"
#include "accounting/meter_report_view.h"
#include "history_test_support.h"
#include "history_window/history_table.h"
#include "history_window/meter_history_window.h"
#include "history_window/reading_report.h"
#include "postgres_server.h"
#include "support/board_harness.h"
#include "support/fake_file_chooser.h"
#include "support/fake_prompts.h"
#include "support/qstring_printer.h"
#include "support/text_fit.h"
#include "support/window_fixture.h"

// The Meter History window: table, chart, export and report of one board's readings; and the main
// window, which keeps each View Info and shows on the meter displays what changed since the last.
namespace tarvo::test {
namespace {

// What a poppler tool prints about a PDF file, or "" when it failed.
QString popplerOutput(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    const bool ran = p.waitForFinished(60000) && p.exitCode() == 0;
    return ran ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// The text of a PDF file as a reader sees it, its columns kept.
QString pdfText(const QString& path) {
    return popplerOutput(QStringLiteral("pdftotext"), {"-layout", path, "-"});
}

// True when some line of `text` holds `cells` in order, with only blanks between them.
bool hasRow(const QString& text, const QStringList& cells) {
    QStringList escaped;
    for (const auto& c : cells) {
        escaped << QRegularExpression::escape(c);
    }
    return QRegularExpression("(^|\\s)" + escaped.join(" +") + "($|\\s)",
                              QRegularExpression::MultilineOption)
        .match(text)
        .hasMatch();
}

class HistoryWindowTest : public ::testing::Test {
  protected:
    QString path() const { return dir.filePath(QStringLiteral("meter-history.sqlite")); }
    // The history of every test: S1: 100, 90 (a drop), a memory clear, 0 (expected), 10.
    // S2, read last: one reading.
    void SetUp() override {
        MeterHistory h(path());
        auto at = [](const char* serial, int secs, qint64 received) {
            MeterReading r = reading(serial, kStart.addSecs(secs), received);
            r.port = "Com3";
            r.address = 7;
            return r;
        };
        for (const auto& r : {at("S1", 0, 100), at("S1", 60, 90)}) {
            ASSERT_TRUE(h.store(r));
        }
        ASSERT_TRUE(h.recordMemoryClear(kStart.addSecs(120), "Com3", 7, "S1"));
        for (const auto& r : {at("S1", 180, 0), at("S1", 240, 10), at("S2", 300, 5)}) {
            ASSERT_TRUE(h.store(r));
        }
    }
    std::unique_ptr<MeterHistoryWindow> open(const QString& serial, int pageSize = 1000) {
        MeterHistoryWindow::Setup setup;
        setup.historyPath = path();
        setup.serial = serial;
        setup.files = files;
        setup.prompts = prompts;
        setup.followMs = 3600000;  // the tests look for new readings themselves
        setup.locationLines = [] { return QStringList{"Harbour Arcade", "", "Pier 3"}; };
        setup.choosePrinter = [this](QPrinter& printer, QWidget*) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath("printed.pdf"));
            return true;
        };
        setup.pageSize = pageSize;
        auto w = std::make_unique<MeterHistoryWindow>(setup);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        return w;
    }
    static bool settled(MeterHistoryWindow& w) {
        return QTest::qWaitFor([&] { return !w.loading() && !w.serial().isEmpty(); }, 20000);
    }
    static QList<QAbstractSeries*> seriesOf(MeterHistoryWindow& w, QAbstractSeries::SeriesType t) {
        QList<QAbstractSeries*> out;
        for (auto* s : w.chart().series()) {
            if (s->type() == t) {
                out << s;
            }
        }
        return out;
    }

    QTemporaryDir dir;
    std::shared_ptr<FakeFileChooser> files = std::make_shared<FakeFileChooser>();
    std::shared_ptr<FakePrompts> prompts = std::make_shared<FakePrompts>();
};

// Read a page at a time as the table is scrolled to its end.
TEST_F(HistoryWindowTest, TableShowsNewestFirstWithDropsMarkedAndTheClearAsItsOwnRow) {
    auto w = open("S1", 2);
    w->table->setModel(nullptr);  // a view with room left would ask for more at once
    ASSERT_TRUE(settled(*w));
    HistoryTable& m = w->model();
    ASSERT_EQ(m.rowCount(), 2);
    EXPECT_EQ(w->historyStatus->text(), "S1: 4 readings");
    // The reading before the page is known: the clear between excuses the drop.
    EXPECT_EQ(m.index(1, 6).data(Qt::ToolTipRole).toString(),
              "Memory cleared on 2026-11-02 14:07; was 000000090 on 2026-11-02 14:06");
    ASSERT_TRUE(m.canFetchMore({}));
    m.fetchMore({});
    ASSERT_TRUE(settled(*w));
    EXPECT_FALSE(m.canFetchMore({}));
    auto text = [&](int row, int column) { return m.index(row, column).data().toString(); };
    ASSERT_EQ(m.rowCount(), 5);
    const QStringList times = {"14:09:00", "14:08:00", "14:07:00", "14:06:00", "14:05:00"};
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(text(row, 0), "2026-11-02 " + times[row]);
    }
    EXPECT_EQ(text(2, 1), "Memory cleared");
    EXPECT_EQ(text(0, 1), "Com3 / 7");
    EXPECT_EQ(text(0, 2), "BRD-V2.05");
    // Columns: three fixed, then Coin in A, Coin in B, Returned, Received, Paid Out per terminal.
    EXPECT_EQ(m.columnCount(), 3 + 2 * 5);
    EXPECT_EQ(m.headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), "T1 Received");
    EXPECT_EQ(m.headerData(8, Qt::Horizontal, Qt::DisplayRole).toString(), "T2 Coin in A");
    EXPECT_EQ(text(3, 8), "000000180");
    const auto amber = QColor(0xFF, 0xC8, 0x70);
    struct Cell {
        int row, column;
        bool marked;
        QString tip;
    } cells[] = {
        {3, 6, true, "Was 000000100 on 2026-11-02 14:05: went down by 10"},
        {3, 12, true, "Was 000000200 on 2026-11-02 14:05: went down by 20"},
        {1, 6, false, "Memory cleared on 2026-11-02 14:07; was 000000090 on 2026-11-02 14:06"},
        {0, 6, false, "+10 since 2026-11-02 14:08"},
        {4, 6, false, "First reading of this board"},
    };
    for (const auto& c : cells) {
        SCOPED_TRACE(testing::Message() << c.row << "," << c.column);
        const QModelIndex i = m.index(c.row, c.column);
        EXPECT_EQ(i.data(Qt::BackgroundRole).value<QBrush>().color() == amber, c.marked);
        EXPECT_EQ(i.data(Qt::ToolTipRole).toString(), c.tip);
    }
    // The board list: S2 read last comes first; the window stays on the board it was given.
    ASSERT_EQ(w->boardChooser->count(), 2);
    EXPECT_EQ(w->boardChooser->itemText(0), "S2 (last read 2026-11-02 14:10)");
    EXPECT_EQ(w->boardChooser->currentData().toString(), "S1");
}

TEST_F(HistoryWindowTest, ChartDrawsTheChosenMeterOfTheChosenTerminalsWithItsDrops) {
    auto w = open("S1");
    ASSERT_TRUE(settled(*w));
    struct Case {
        QString meter;
        std::vector<bool> terminals;
        int lines, drops;
    } cases[] = {
        {"Received", {true, true}, 2, 2},
        {"Coin in B", {true, false}, 1, 1},
        {"Paid Out", {false, true}, 1, 1},
        {"Coin in A", {false, false}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meter.toStdString());
        w->meterChooser->setCurrentIndex(w->meterChooser->findText(c.meter));
        for (size_t i = 0; i < 2; ++i) {
            w->terminalChoice[i]->setChecked(c.terminals[i]);
        }
        const auto lines = seriesOf(*w, QAbstractSeries::SeriesTypeLine);
        const auto drops = seriesOf(*w, QAbstractSeries::SeriesTypeScatter);
        ASSERT_EQ(lines.size(), c.lines);
        EXPECT_EQ(drops.isEmpty() ? 0 : static_cast<QScatterSeries*>(drops[0])->count(), c.drops);
        if (c.lines > 0) {
            const auto* first = static_cast<QLineSeries*>(lines[0]);
            ASSERT_EQ(first->count(), 4);
            EXPECT_EQ(first->at(3).y(), c.terminals[0] ? 10 : 20);  // terminal 2 reads double
            EXPECT_EQ(first->at(1).x(), kStart.addSecs(60).toMSecsSinceEpoch());
        }
        if (c.drops > 0) {
            EXPECT_EQ(static_cast<QScatterSeries*>(drops[0])->at(0).x(),
                      kStart.addSecs(60).toMSecsSinceEpoch());
        }
    }
    // Terminals a board does not have are not offered.
    EXPECT_TRUE(w->terminalChoice[1]->isVisibleTo(w.get()));
    EXPECT_FALSE(w->terminalChoice[2]->isVisibleTo(w.get()));
}

TEST(MeterSeriesOfALongHistory, KeepsEveryDropAndEachStretchsLowAndHigh) {
    std::vector<MeterReading> many;
    for (int i = 0; i < 1000; ++i) {
        // Rises by one, with a dip to 3 at reading 500.
        many.push_back(reading("S", kStart.addSecs(i), i == 500 ? 3 : i));
        if (i == 500) {
            many.back().terminals[0].wentBackwards = QStringList{"received"};
        }
    }
    ChartData data;
    data.append(many);
    const int received = 3, coinInA = 0;  // in the window's order of meters
    const MeterSeries thin = meterSeries(data, 1, received, 100);
    EXPECT_LE(thin.line.size(), 100);
    EXPECT_GE(thin.line.size(), 50);
    ASSERT_EQ(thin.drops.size(), 1);
    EXPECT_EQ(thin.drops[0].y(), 3);
    EXPECT_TRUE(thin.line.contains(thin.drops[0]));
    EXPECT_EQ(thin.line.front().y(), 0);
    EXPECT_EQ(thin.line.back().y(), 999);
    EXPECT_TRUE(std::is_sorted(thin.line.begin(), thin.line.end(),
                               [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); }));
    const MeterSeries whole = meterSeries(data, 2, coinInA, 2000);
    EXPECT_EQ(whole.line.size(), 1000);
    EXPECT_TRUE(whole.drops.isEmpty());
}

// The report is of the chosen reading, compared with the one before it; the export holds the
// bytes of the history command's CSV.
TEST_F(HistoryWindowTest, TheReportOfTheChosenReadingAndTheExportOfAllAreSaved) {
    auto w = open("S1");
    ASSERT_TRUE(settled(*w));
    EXPECT_EQ(w->chosenReading(), 3);  // the newest
    struct Step {
        int row;  // chosen in the table; 2 is the memory clear, standing for the reading below
        bool print;
        QString taken, since, received, change, note;  // received: terminals 1 and 2
    } steps[] = {
        {0, false, "14:09:00", "14:08:00", "000000010 000000020", "+10 +20", ""},
        {3, true, "14:06:00", "14:05:00", "000000090 * 000000180 *", "-10 * -20 *",
         "* Went backwards: 10 meters."},
        {2, false, "14:06:00", "14:05:00", "000000090 * 000000180 *", "-10 * -20 *", ""},
        {1, false, "14:08:00", "14:06:00", "000000000 000000000", "-90 -180",
         "Memory cleared on 2026-11-02 14:07:00"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.row);
        w->table->selectRow(s.row);
        const QString path = dir.filePath(s.print ? "printed.pdf" : "saved.pdf");
        QFile::remove(path);
        if (!s.print) {
            files->answer(path);
        }
        (s.print ? w->cmdPrint : w->cmdSavePdf)->click();
        const QString text = pdfText(path);
        SCOPED_TRACE(text.toStdString());
        EXPECT_TRUE(hasRow(text, {"Reading taken", "2026-11-02 " + s.taken}));
        EXPECT_TRUE(text.contains("Change since 2026-11-02 " + s.since));
        EXPECT_TRUE(hasRow(text, {"Location", "Harbour Arcade"}));
        EXPECT_TRUE(hasRow(text, ("Received " + s.received).split(' ')));
        EXPECT_TRUE(hasRow(text, ("Received " + s.change).split(' ')));
        EXPECT_TRUE(text.contains(s.note));
        EXPECT_TRUE(w->historyStatus->text().endsWith(path));
    }
    const QString target = dir.filePath("export.csv");
    files->answer(target);
    w->cmdExportCsv->click();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(files->requests.size(), 4u);
    EXPECT_EQ(files->requests[0].title, "Save Report as PDF");
    EXPECT_EQ(files->requests[0].initialName, "S1-20261102-140900.pdf");
    EXPECT_TRUE(files->requests[3].save);
    EXPECT_EQ(files->requests[3].initialName, "S1-history.csv");
    QString out;
    ASSERT_EQ(historyCommand({"--serial", "S1", "--format", "csv", "--database", path()}, &out), 0);
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), out.toUtf8());
    // A place that cannot be written, for the report or the export, is said in a box and on the
    // window, and nothing is claimed.
    for (QPushButton* save : {w->cmdSavePdf, w->cmdExportCsv}) {
        const QString nowhere = dir.filePath("no-such-folder/" + save->objectName());
        files->answer(nowhere);
        save->click();
        ASSERT_TRUE(settled(*w));
        ASSERT_FALSE(prompts->messages.empty());
        EXPECT_TRUE(prompts->messages.back().text.startsWith("Cannot write " + nowhere));
        EXPECT_EQ(w->historyStatus->text(), prompts->messages.back().text);
        EXPECT_FALSE(QFile::exists(nowhere));
    }
    EXPECT_EQ(prompts->messages.size(), 2u);
}

TEST_F(HistoryWindowTest, FollowsNewReadingsAndBoardsWhileOpen) {
    auto w = open(QString());
    ASSERT_TRUE(settled(*w));
    EXPECT_EQ(w->serial(), "S2");  // the board read last
    w->table->scrollToBottom();
    {
        MeterHistory h(path());
        ASSERT_TRUE(h.store(reading("S2", kStart.addSecs(400), 4)));
        ASSERT_TRUE(h.store(reading("S3", kStart.addSecs(500), 1)));
    }
    w->followNow();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(w->model().rowCount(), 2);
    EXPECT_EQ(w->model().index(0, 0).data().toString(), "2026-11-02 14:11:40");
    EXPECT_EQ(w->model().index(0, 6).data(Qt::ToolTipRole).toString(),
              "Was 000000005 on 2026-11-02 14:10: went down by 1");
    const auto lines = seriesOf(*w, QAbstractSeries::SeriesTypeLine);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(static_cast<QLineSeries*>(lines[1])->count(), 2);
    EXPECT_EQ(static_cast<QLineSeries*>(lines[1])->at(1).y(), 8);
    EXPECT_EQ(w->boardChooser->count(), 3);
    EXPECT_EQ(w->boardChooser->currentData().toString(), "S2");
    // A reading taken before those shown, kept late, flags the fall it reveals.
    ASSERT_TRUE(MeterHistory(path()).store(reading("S2", kStart.addSecs(350), 9)));
    w->followNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->loading() && w->model().rowCount() == 3; }));
    EXPECT_EQ(w->model().index(0, 6).data(Qt::ToolTipRole).toString(),
              "Was 000000009 on 2026-11-02 14:10: went down by 5");
    // Choosing another board shows it.
    w->boardChooser->setCurrentIndex(w->boardChooser->findData("S1"));
    emit w->boardChooser->activated(w->boardChooser->currentIndex());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->loading() && w->model().rowCount() == 5; }));
}

TEST_F(HistoryWindowTest, EveryControlIsAnnouncedAndEveryTextFitsAtEachScale) {
    atEachFontScale([&](double) {
        auto w = open("S1");
        w->show();
        ASSERT_TRUE(settled(*w));
        QApplication::processEvents();
        EXPECT_EQ(cutTexts(*w).join('\n'), "");
        // The chart's time labels stand side by side, none shortened.
        const auto* time = qobject_cast<QDateTimeAxis*>(w->chart().axes(Qt::Horizontal)[0]);
        ASSERT_TRUE(time);
        const int label = QFontMetrics(time->labelsFont())
                              .horizontalAdvance(time->max().toString(time->format()));
        EXPECT_GE(w->chart().plotArea().width() / (time->tickCount() - 1), label);
        const auto labels = w->findChildren<QLabel*>();
        for (auto* list : w->findChildren<QComboBox*>()) {
            EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* label) {
                return label->buddy() == list;
            })) << list->objectName().toStdString();
        }
        EXPECT_FALSE(w->table->accessibleName().isEmpty());
        EXPECT_FALSE(w->chartView->accessibleName().isEmpty());
        EXPECT_EQ(w->chartView->accessibleDescription(), "Coin in A of S1, 4 readings, 2 drops");
    });
}

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
// the last reading, ready to print with the location on its report. In terminal mode both
// keys are the board's.
TEST(MeterHistoryWindow, CtrlHAndTheButtonOpenOneWindowAndCtrlPTheLastReadingToPrint) {
    WindowFixture f;
    auto& w = f.w();
    w.Option2->click();  // no system prefix before each frame
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
    history->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.historyWindow(); }));
    w.ButtonTerminalMode->click();
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(w.TerminalModeOn);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &w; }));
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

// The meter report as the site's operator holds it: a PDF file, read back as text.
const QStringList kCaptions =
    QString(
        "Status|Pulse value|Multiplier|Value in|Print unit|Received|Returned|Paid out|"
        "Coin in A|Coin in B|Coin-in multiplier A|Coin-in multiplier B")
        .split('|');

// The widest values a board reports, each meter its own: meter m of terminal n reads
// 9999999mn. A minute before, each read less by 100 (m + 1) + n, but terminal 2's Received
// and terminal 5's Coin in B read more.
MeterReading widest(int terminals, bool before = false) {
    MeterReading r;
    r.time = kStart.addSecs(before ? 180 : 240);
    r.port = "Com12";
    r.address = 31;
    r.serialNumber = "WWWWWWWW";
    r.firmwareVersion = "BRD-V2.05";
    r.printerFirmware = "WWWWWWWWW";
    r.printerStatus = "Printer Error";
    const QStringList settings = {"PLAY", "5000", "1000", "DOLLAR", "POINTS"};
    for (int n = 1; n <= terminals; ++n) {
        MeterReading::Terminal t;
        t.number = n;
        for (int f = 0; f < static_cast<int>(kTerminalFields.size()); ++f) {
            const int m = f - 5;  // the meters follow the five settings
            const qint64 meter = 999999900 + 10 * m + n - (before ? 100 * (m + 1) + n : 0);
            const bool up = before && ((n == 2 && m == 0) || (n == 5 && m == 4));
            t.*kTerminalFields[f].field = f < 5   ? settings[f]
                                          : m < 5 ? QString::number(up ? 999999999 : meter)
                                                  : QString::number(f * 10 + n);
        }
        r.terminals.push_back(t);
    }
    return r;
}

struct ReportCase {
    const char* name;
    int terminals;
    bool previous, cleared;
    QPageSize::PageSizeId page;
    const char* pageName;  // as pdfinfo says it
    double fontScale;
    bool throughPrinter;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadingReportPdf : public testing::TestWithParam<ReportCase> {};

TEST_P(ReadingReportPdf, HoldsEveryValueAndChangeWithTheDropsMarkedOnOnePage) {
    const ReportCase& c = GetParam();
    ReadingReport report;
    report.reading = widest(c.terminals);
    if (c.previous) {
        report.previous = widest(c.terminals, true);
    }
    if (c.cleared) {
        report.clearedAt = report.reading.time.addSecs(-30);
    }
    const QString longLine =
        "Harbour Street Amusements, the arcade on the pier beyond the lighthouse, second floor, "
        "behind the change counter, where the six cabinets stand in a row along the east wall";
    report.locationLines = {longLine, "", "Unit 4"};

    QTemporaryDir dir;
    const QString path = dir.filePath("report.pdf");
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * c.fontScale);
    if (c.throughPrinter) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPageSize(QPageSize(c.page));
        ASSERT_TRUE(paintReport(report, printer, font));
    } else {
        ASSERT_EQ(saveReportPdf(report, path, QPageSize(c.page), font), "");
    }

    const QString info = popplerOutput("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages: +1\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QString(" pts %1\n").arg(c.pageName))) << info.toStdString();
    const QString text = pdfText(path);
    ASSERT_FALSE(text.isEmpty()) << "pdftotext (poppler-utils) is needed";
    SCOPED_TRACE(text.toStdString());
    const MeterReading& r = report.reading;
    for (const QStringList& row : {QStringList{"Reading taken", "2026-11-02 14:09:00"},
                                   {"Port", "Com12"},
                                   {"Multi-drop address", "31"},
                                   {"Serial", "WWWWWWWW"},
                                   {"Firmware", "BRD-V2.05"},
                                   {"Printer", "Printer Error, firmware WWWWWWWWW"}}) {
        EXPECT_TRUE(hasRow(text, row)) << row.join(' ').toStdString();
    }
    // The long line wraps, whole and in order, and the empty line is left out.
    EXPECT_TRUE(text.simplified().contains("Location " + longLine + " Unit 4 Compared with"));
    for (const QString who : {"Technician", "Site operator"}) {
        EXPECT_TRUE(text.contains(QRegularExpression(who + "'s name: _{20,} +Signature: _{20,}")));
    }

    const bool marking = c.previous && !c.cleared;
    for (size_t f = 0; f < kTerminalFields.size(); ++f) {
        const TerminalField& field = kTerminalFields[f];
        QStringList values{kCaptions[f]}, changes{kCaptions[f]};
        for (const auto& t : r.terminals) {
            const bool mark =
                marking && ((t.number == 2 && field.field == &MeterReading::Terminal::received) ||
                            (t.number == 5 && field.field == &MeterReading::Terminal::coinInB));
            values << t.*field.field;
            if (field.meterLabel && report.previous) {
                const auto& was = report.previous->terminals[t.number - 1];
                const qint64 delta =
                    (t.*field.field).toLongLong() - (was.*field.field).toLongLong();
                changes << (delta > 0 ? "+" : "") + QString::number(delta);
            }
            if (mark) {
                values << "*";
                changes << "*";
            }
        }
        EXPECT_TRUE(hasRow(text, values)) << values.join(' ').toStdString();
        if (changes.size() > 1) {
            EXPECT_TRUE(hasRow(text, changes)) << changes.join(' ').toStdString();
        }
    }
    EXPECT_EQ(text.contains("Change since 2026-11-02 14:08:00"), c.previous);
    EXPECT_EQ(hasRow(text, {"Compared with", "the reading of 2026-11-02 14:08:00"}), c.previous);
    EXPECT_EQ(hasRow(text, {"Compared with", "nothing: the first reading of this board"}),
              !c.previous);
    EXPECT_EQ(text.contains("Memory cleared on 2026-11-02 14:08:30: lower meters are expected."),
              c.cleared);
    EXPECT_EQ(text.count('*'), marking ? 5 : 0);  // two marks for each drop, one to explain
    EXPECT_EQ(hasRow(text, {"*", "Went backwards: 2 meters."}), marking);
}

INSTANTIATE_TEST_SUITE_P(Reports, ReadingReportPdf,
                         testing::Values(ReportCase{"SixTerminalsWithDrops", 6, true, false,
                                                    QPageSize::A4, "(A4)", 1, false},
                                         ReportCase{"AKitsFirstReadingOnALetterPrinter", 1, false,
                                                    false, QPageSize::Letter, "(letter)", 1, true},
                                         ReportCase{"AMemoryClearBetweenInAThreeTimesFont", 6, true,
                                                    true, QPageSize::A4, "(A4)", 3, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo::test
