#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "history/history_thread.h"
#include "history/meter_history.h"
#include "history_window/history_table.h"
#include "history_window/reading_report.h"
#include "platform/file_chooser.h"
#include "platform/prompts.h"

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class QTableView;
class QChartView;
class QChart;

namespace tarvo {

class HistoryTable;

// The "Meter History" window: one board's readings in a table, newest first, one meter of the
// chosen terminals over time in a chart, and the table as CSV. The history is read on a
// thread of its own, so the window answers while ten thousand readings load; it looks for
// new readings every few seconds while open.
class MeterHistoryWindow : public QWidget {
    Q_OBJECT
  public:
    struct Setup {
        QString historyPath;  // empty: the default file
        QString centralUrl;   // a central history to read, or ""
        QString serial;       // the board to show first; "": the one read last
        std::shared_ptr<FileChooser> files;
        std::shared_ptr<Prompts> prompts;
        int followMs = 3000;
        // The location lines a report shows, read when it is made.
        std::function<QStringList()> locationLines;
        // Asks where and how to print; false when the user says no. Unset: the print dialog.
        std::function<bool(QPrinter&, QWidget*)> choosePrinter;
        int pageSize = 1000;  // readings read at a time, as the table is scrolled
    };
    static constexpr const char* kTitle = "Meter History";

    explicit MeterHistoryWindow(Setup setup, QWidget* parent = nullptr);
    ~MeterHistoryWindow() override;

    QComboBox* boardChooser = nullptr;
    QComboBox* meterChooser = nullptr;
    std::array<QCheckBox*, 6> terminalChoice{};
    QPushButton* cmdExportCsv = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdSavePdf = nullptr;
    QTableView* table = nullptr;
    QChartView* chartView = nullptr;
    QLabel* historyStatus = nullptr;

    HistoryTable& model() { return *model_; }
    QChart& chart();
    // The board shown, or "".
    QString serial() const { return shown_; }
    // True while a read of the history is under way.
    bool loading() const { return pending_ > 0; }

    // Looks for new readings now instead of at the next turn.
    void followNow();
    // Asks for a file and writes the board's readings there as the history command's CSV.
    void cmdExportCsv_Click();
    // The report of the chosen reading (history_window/report_buttons.cpp): on a printer, or
    // as a PDF file.
    void cmdPrint_Click();
    void cmdSavePdf_Click();
    // The reading the reports are of: the one chosen in the table (the newest when the board
    // is shown), as an index into model().readings(); -1 when there is none.
    int chosenReading() const;
    // Shows the board's newest reading (the board `serial`, or the one shown when empty)
    // with "Print..." focused, once it is in the table.
    void showLastReading(const QString& serial);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  signals:
    // A read of the history has been shown (the board list, a board, or new readings).
    void loaded();

  private:
    void buildControls();
    void loadBoards();
    void loadBoard(const QString& serial);
    void loadOlder();
    void showCount(const QString& problem);
    void exportTo(const QString& path, const std::vector<MeterReading>& readings);
    void applyBoards(std::vector<MeterHistory::Board> boards, const QString& problem);
    void redrawChart();
    void fitTimeAxis();
    void showProblem(const QString& problem);
    void addReportButtons(QBoxLayout* row);
    // After the table changed: the report buttons follow it; `newBoard` chooses the newest.
    void readingsShown(bool newBoard);
    std::optional<ReadingReport> chosenReport() const;
    void tellProblem(const QString& why);
    // Runs `work` on the history's thread with the history, then `done` here.
    template <typename Work, typename Done>
    void onHistoryThread(Work work, Done done);

    Setup setup_;
    HistoryTable* model_ = nullptr;
    ChartData chartData_;
    std::unique_ptr<HistoryThread> history_;
    QTimer follow_;
    QString shown_;
    int generation_ = 0;
    int pending_ = 0;
    bool chooseNewest_ = false;
    bool focusPrint_ = false;
    int count_ = 0;  // the shown board's readings in the history
};

}  // namespace tarvo
