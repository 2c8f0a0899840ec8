#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include "history_test_support.h"
#include "history_window/history_table.h"
#include "history_window/meter_history_window.h"
#include "pdf_text.h"
#include "support/fake_file_chooser.h"
#include "support/fake_prompts.h"
#include "support/qstring_printer.h"
#include "support/text_fit.h"

// The Meter History window: table, chart and export of one board's readings.
namespace tarvo::test {
namespace {

class HistoryWindowTest : public ::testing::Test {
  protected:
    QString path() const { return dir.filePath(QStringLiteral("meter-history.sqlite")); }
    // S1: 100, 90 (a drop), a memory clear, 0 (expected), 10. S2, read last: one reading.
    void fill() {
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

TEST_F(HistoryWindowTest, TableShowsNewestFirstWithDropsMarkedAndTheClearAsItsOwnRow) {
    fill();
    auto w = open("S1");
    ASSERT_TRUE(settled(*w));
    const HistoryTable& m = w->model();
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

TEST_F(HistoryWindowTest, ReadsABoardAPageAtATimeAsTheTableIsScrolledToItsEnd) {
    fill();
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
    ASSERT_EQ(m.rowCount(), 5);
    EXPECT_FALSE(m.canFetchMore({}));
    EXPECT_EQ(m.index(2, 1).data().toString(), "Memory cleared");
    EXPECT_EQ(m.index(3, 6).data(Qt::ToolTipRole).toString(),
              "Was 000000100 on 2026-11-02 14:05: went down by 10");
}

TEST_F(HistoryWindowTest, ChartDrawsTheChosenMeterOfTheChosenTerminalsWithItsDrops) {
    fill();
    auto w = open("S1");
    ASSERT_TRUE(settled(*w));
    struct Case {
        QString meter;
        std::vector<bool> terminals;
        int lines, drops;
        double last;  // terminal 1's last value; terminal 2 reads double
    } cases[] = {
        {"Received", {true, true}, 2, 2, 10},
        {"Coin in B", {true, false}, 1, 1, 10},
        {"Paid Out", {false, true}, 1, 1, 10},
        {"Coin in A", {false, false}, 0, 0, -1},
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
            EXPECT_EQ(first->at(3).y(), c.last * (c.terminals[0] ? 1 : 2));
            EXPECT_EQ(first->at(1).x(), kStart.addSecs(60).toMSecsSinceEpoch());
        }
        if (c.drops > 0) {
            const auto* marks = static_cast<QScatterSeries*>(drops[0]);
            EXPECT_EQ(marks->at(0).x(), kStart.addSecs(60).toMSecsSinceEpoch());
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

TEST_F(HistoryWindowTest, ExportWritesTheBytesOfTheHistoryCommandsCsv) {
    fill();
    auto w = open("S1");
    ASSERT_TRUE(settled(*w));
    const QString target = dir.filePath("export.csv");
    files->answer(target);
    w->cmdExportCsv->click();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(files->requests.size(), 1u);
    EXPECT_TRUE(files->requests[0].save);
    EXPECT_EQ(files->requests[0].initialName, "S1-history.csv");
    QString out;
    ASSERT_EQ(historyCommand({"--serial", "S1", "--format", "csv", "--database", path()}, &out), 0);
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), out.toUtf8());
    // A place that cannot be written is said in a box and on the window.
    files->answer(dir.filePath("no-such-folder/export.csv"));
    w->cmdExportCsv->click();
    ASSERT_TRUE(settled(*w));
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_TRUE(prompts->messages[0].text.startsWith("Cannot write"))
        << prompts->messages[0].text.toStdString();
    EXPECT_EQ(w->historyStatus->text(), prompts->messages[0].text);
}

TEST_F(HistoryWindowTest, TheReportIsOfTheChosenReadingComparedWithTheOneBeforeIt) {
    fill();
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
    ASSERT_EQ(files->requests.size(), 3u);
    EXPECT_EQ(files->requests[0].title, "Save Report as PDF");
    EXPECT_EQ(files->requests[0].initialName, "S1-20261102-140900.pdf");
    // A place that cannot be written is said, and nothing is claimed.
    const QString nowhere = dir.filePath("no-such-folder/report.pdf");
    files->answer(nowhere);
    w->cmdSavePdf->click();
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_TRUE(prompts->messages[0].text.startsWith("Cannot write " + nowhere));
    EXPECT_EQ(w->historyStatus->text(), prompts->messages[0].text);
    EXPECT_FALSE(QFile::exists(nowhere));
}

TEST_F(HistoryWindowTest, FollowsNewReadingsAndBoardsWhileOpen) {
    fill();
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
    fill();
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        {
            auto w = open("S1");
            w->show();
            ASSERT_TRUE(settled(*w));
            QApplication::processEvents();
            EXPECT_EQ(cutTexts(*w).join('\n'), "");
            // The chart's time labels stand side by side, none shortened.
            const auto axes = w->chart().axes(Qt::Horizontal);
            ASSERT_EQ(axes.size(), 1);
            const auto* time = qobject_cast<QDateTimeAxis*>(axes[0]);
            ASSERT_TRUE(time);
            const int label = QFontMetrics(time->labelsFont())
                                  .horizontalAdvance(time->max().toString(time->format()));
            EXPECT_GE(w->chart().plotArea().width() / (time->tickCount() - 1), label);
            for (auto* list : w->findChildren<QComboBox*>()) {
                bool labelled = false;
                for (auto* label : w->findChildren<QLabel*>()) {
                    labelled = labelled || label->buddy() == list;
                }
                EXPECT_TRUE(labelled) << list->objectName().toStdString();
            }
            for (QWidget* c :
                 {static_cast<QWidget*>(w->table), static_cast<QWidget*>(w->chartView)}) {
                EXPECT_FALSE(c->accessibleName().isEmpty());
            }
            EXPECT_EQ(w->chartView->accessibleDescription(),
                      "Coin in A of S1, 4 readings, 2 drops");
        }
        QApplication::setFont(normal);
    }
}

}  // namespace
}  // namespace tarvo::test
