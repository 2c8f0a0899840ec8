#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "core/meter_reading.h"

namespace tarvo {

// The five meters in the order the history window offers them.
struct ChartMeter {
    const char* name;  // the record name, as in wentBackwards
    const char* label;
};
const std::vector<ChartMeter>& chartMeters();

// The meters of a board's readings as numbers, worked out once (on the history's thread):
// turning ten thousand times and texts into numbers takes longer than a window may wait.
struct ChartData {
    static constexpr int kTerminals = 6;
    std::vector<qint64> ms;  // each reading's time, ms since the epoch
    // [terminal - 1][meter in chartMeters() order], one per reading; NaN where it has none.
    std::array<std::array<std::vector<double>, 5>, kTerminals> values;
    std::array<std::array<std::vector<char>, 5>, kTerminals> drops;

    // Adds readings newer than those already here.
    void append(const std::vector<MeterReading>& readings);
    void append(const ChartData& more);
};

// One meter of one terminal over time: x in ms since the epoch, y the meter. `drops` are the
// readings where the meter went backwards. A long history is thinned to about `maxPoints`
// points, keeping each stretch's lowest and highest; the drops are all kept.
struct MeterSeries {
    QList<QPointF> line;
    QList<QPointF> drops;
};
MeterSeries meterSeries(const ChartData& data, int terminal, int meter, int maxPoints = 800);

// A board's readings, newest first, one row each, with the memory clears as rows of their
// own. Columns: time, port and address, firmware, then each terminal's meters.
class HistoryTable : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    // A board's newest readings, oldest first, and every clear of it. `older`: the history
    // holds older readings, asked for through `wantOlder` when the view scrolls to the end;
    // `before` is the reading just before the first one here, if any.
    void reset(std::vector<MeterReading> readings, std::vector<QDateTime> clears,
               bool older = false, std::optional<MeterReading> before = {});
    // Readings older than those here, oldest first (see reset()).
    void addOlder(std::vector<MeterReading> readings, bool older,
                  std::optional<MeterReading> before);
    std::function<void()> wantOlder;
    // The reading before `reading` (an index into readings()) of the same board, if known.
    std::optional<MeterReading> previous(int reading) const;
    // Readings taken since the last ones, oldest first, and every clear again.
    void addNewer(std::vector<MeterReading> readings, std::vector<QDateTime> clears);

    const std::vector<MeterReading>& readings() const { return readings_; }
    const std::vector<int>& terminals() const { return terminals_; }
    const std::vector<QDateTime>& clears() const { return clears_; }
    // The reading a row shows (an index into readings()), or -1 for a memory clear.
    int readingAt(int row) const;
    // The row that shows readings()[reading], or -1.
    int rowOf(int reading) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static constexpr int kFixedColumns = 3;

  private:
    struct Row {
        QDateTime time;
        int reading;  // index into readings_, or -1 for a memory clear
    };
    std::vector<Row> buildRows() const;
    std::vector<int> terminalNumbers() const;
    const Row& rowAt(int row) const { return rows_[rows_.size() - 1 - static_cast<size_t>(row)]; }
    QString changeTip(int reading, int terminalIndex, int meter) const;

    std::vector<MeterReading> readings_;  // oldest first
    std::optional<MeterReading> before_;  // the one before readings_.front()
    bool older_ = false;
    bool fetching_ = false;
    std::vector<QDateTime> clears_;
    std::vector<Row> rows_;  // oldest first; shown newest first
    std::vector<int> terminals_;
};

}  // namespace tarvo
