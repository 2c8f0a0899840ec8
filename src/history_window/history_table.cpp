#include "history_window/history_table.h"

#include <QBrush>
#include <QColor>
#include <algorithm>
#include <cmath>
#include <set>

#include "history/meter_change.h"

namespace tarvo {

namespace {

QString MeterReading::Terminal::*fieldOf(const QString& name) {
    for (const auto& f : meterFields()) {
        if (name == QLatin1String(f.name)) {
            return f.field;
        }
    }
    return nullptr;
}

const MeterReading::Terminal* terminalOf(const MeterReading& r, int number) {
    for (const auto& t : r.terminals) {
        if (t.number == number) {
            return &t;
        }
    }
    return nullptr;
}

}  // namespace

const std::vector<ChartMeter>& chartMeters() {
    static const std::vector<ChartMeter> meters = {
        {"coinInA", "Coin in A"}, {"coinInB", "Coin in B"}, {"returned", "Returned"},
        {"received", "Received"}, {"paidOut", "Paid Out"},
    };
    return meters;
}

void ChartData::append(const std::vector<MeterReading>& readings) {
    const auto& meters = chartMeters();
    for (const auto& r : readings) {
        ms.push_back(r.time.toMSecsSinceEpoch());
        for (int n = 1; n <= kTerminals; ++n) {
            const auto* t = terminalOf(r, n);
            for (size_t m = 0; m < meters.size(); ++m) {
                bool ok = false;
                const QString name = QLatin1String(meters[m].name);
                const qint64 v = t ? (t->*fieldOf(name)).trimmed().toLongLong(&ok) : 0;
                values[n - 1][m].push_back(ok ? static_cast<double>(v) : std::nan(""));
                drops[n - 1][m].push_back(ok && t->wentBackwards.contains(name) ? 1 : 0);
            }
        }
    }
}

void ChartData::append(const ChartData& more) {
    ms.insert(ms.end(), more.ms.begin(), more.ms.end());
    for (int n = 0; n < kTerminals; ++n) {
        for (size_t m = 0; m < values[n].size(); ++m) {
            values[n][m].insert(values[n][m].end(), more.values[n][m].begin(),
                                more.values[n][m].end());
            drops[n][m].insert(drops[n][m].end(), more.drops[n][m].begin(), more.drops[n][m].end());
        }
    }
}

MeterSeries meterSeries(const ChartData& data, int terminal, int meter, int maxPoints) {
    MeterSeries out;
    if (terminal < 1 || terminal > ChartData::kTerminals || meter < 0 ||
        meter >= static_cast<int>(chartMeters().size())) {
        return out;
    }
    const auto& values = data.values[terminal - 1][meter];
    const auto& drops = data.drops[terminal - 1][meter];
    QList<QPointF> all;
    all.reserve(static_cast<qsizetype>(values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        if (std::isnan(values[i])) {
            continue;
        }
        const QPointF p(static_cast<qreal>(data.ms[i]), values[i]);
        all.append(p);
        if (drops[i]) {
            out.drops.append(p);
        }
    }
    const qsizetype buckets = std::max(1, maxPoints / 2);
    if (all.size() <= maxPoints) {
        out.line = std::move(all);
        return out;
    }
    // Each stretch keeps its lowest and highest point, in time order, so no peak or dip of
    // the meter disappears from the line.
    out.line.reserve(buckets * 2);
    for (qsizetype b = 0; b < buckets; ++b) {
        const qsizetype from = all.size() * b / buckets;
        const qsizetype to = all.size() * (b + 1) / buckets;
        if (from >= to) {
            continue;
        }
        qsizetype lo = from, hi = from;
        for (qsizetype i = from; i < to; ++i) {
            if (all[i].y() < all[lo].y()) {
                lo = i;
            }
            if (all[i].y() > all[hi].y()) {
                hi = i;
            }
        }
        out.line.append(all[std::min(lo, hi)]);
        if (lo != hi) {
            out.line.append(all[std::max(lo, hi)]);
        }
    }
    return out;
}

std::vector<int> HistoryTable::terminalNumbers() const {
    std::set<int> numbers;
    for (const auto& r : readings_) {
        for (const auto& t : r.terminals) {
            numbers.insert(t.number);
        }
    }
    return {numbers.begin(), numbers.end()};
}

std::vector<HistoryTable::Row> HistoryTable::buildRows() const {
    std::vector<Row> rows;
    rows.reserve(readings_.size() + clears_.size());
    for (size_t i = 0; i < readings_.size(); ++i) {
        rows.push_back({readings_[i].time, static_cast<int>(i)});
    }
    for (const auto& c : clears_) {
        // A clear older than the readings here shows with them, when they come.
        if (!older_ || readings_.empty() || c >= readings_.front().time) {
            rows.push_back({c, -1});
        }
    }
    // A clear sent at the same moment as a reading comes after it: it was sent after reading.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.time < b.time; });
    return rows;
}

void HistoryTable::reset(std::vector<MeterReading> readings, std::vector<QDateTime> clears,
                         bool older, std::optional<MeterReading> before) {
    beginResetModel();
    readings_ = std::move(readings);
    clears_ = std::move(clears);
    older_ = older;
    before_ = std::move(before);
    fetching_ = false;
    rows_ = buildRows();
    terminals_ = terminalNumbers();
    endResetModel();
}

void HistoryTable::addNewer(std::vector<MeterReading> readings, std::vector<QDateTime> clears) {
    if (readings.empty() && clears.size() == clears_.size()) {
        return;
    }
    std::vector<MeterReading> all = readings_;
    all.insert(all.end(), std::make_move_iterator(readings.begin()),
               std::make_move_iterator(readings.end()));
    const std::vector<Row> before = rows_;
    const std::vector<int> terminalsBefore = terminals_;
    std::swap(readings_, all);
    std::swap(clears_, clears);
    std::vector<Row> rows = buildRows();
    const std::vector<int> terminals = terminalNumbers();
    // The common case: new rows above the old ones, where the reader's place stays put.
    const bool onTop =
        terminals == terminalsBefore && rows.size() > before.size() &&
        std::equal(before.begin(), before.end(), rows.begin(), [](const Row& a, const Row& b) {
            return a.time == b.time && a.reading == b.reading;
        });
    if (onTop) {
        beginInsertRows({}, 0, static_cast<int>(rows.size() - before.size()) - 1);
        rows_ = std::move(rows);
        endInsertRows();
    } else {
        beginResetModel();
        rows_ = std::move(rows);
        terminals_ = terminals;
        endResetModel();
    }
}

int HistoryTable::readingAt(int row) const {
    return row >= 0 && row < rowCount() ? rowAt(row).reading : -1;
}

int HistoryTable::rowOf(int reading) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].reading == reading) {
            return static_cast<int>(rows_.size() - 1 - i);
        }
    }
    return -1;
}

void HistoryTable::addOlder(std::vector<MeterReading> readings, bool older,
                            std::optional<MeterReading> before) {
    fetching_ = false;
    const auto had = static_cast<int>(rows_.size());
    readings.insert(readings.end(), std::make_move_iterator(readings_.begin()),
                    std::make_move_iterator(readings_.end()));
    readings_ = std::move(readings);
    older_ = older;
    before_ = std::move(before);
    std::vector<Row> rows = buildRows();
    const std::vector<int> terminals = terminalNumbers();
    if (terminals != terminals_) {
        beginResetModel();
        rows_ = std::move(rows);
        terminals_ = terminals;
        endResetModel();
        return;
    }
    // The older rows go below those shown, where the reader scrolled to.
    if (static_cast<int>(rows.size()) > had) {
        beginInsertRows({}, had, static_cast<int>(rows.size()) - 1);
        rows_ = std::move(rows);
        endInsertRows();
    } else {
        rows_ = std::move(rows);
    }
}

bool HistoryTable::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && older_ && !fetching_ && wantOlder;
}

void HistoryTable::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent)) {
        fetching_ = true;
        wantOlder();
    }
}

std::optional<MeterReading> HistoryTable::previous(int reading) const {
    const MeterReading& r = readings_[static_cast<size_t>(reading)];
    for (int i = reading - 1; i >= 0; --i) {
        if (readings_[static_cast<size_t>(i)].serialNumber == r.serialNumber) {
            return readings_[static_cast<size_t>(i)];
        }
    }
    return before_;
}

int HistoryTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HistoryTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid()
               ? 0
               : kFixedColumns + static_cast<int>(terminals_.size() * chartMeters().size());
}

QVariant HistoryTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case 0:
            return QStringLiteral("Time");
        case 1:
            return QStringLiteral("Port / Address");
        case 2:
            return QStringLiteral("Firmware");
        default:
            break;
    }
    const int m = section - kFixedColumns;
    const int meters = static_cast<int>(chartMeters().size());
    return QStringLiteral("T%1 %2")
        .arg(terminals_.at(static_cast<size_t>(m / meters)))
        .arg(QLatin1String(chartMeters()[static_cast<size_t>(m % meters)].label));
}

QString HistoryTable::changeTip(int reading, int terminalIndex, int meter) const {
    const MeterReading& r = readings_[static_cast<size_t>(reading)];
    const std::optional<MeterReading> previous = this->previous(reading);
    const auto cleared =
        previous ? memoryClearBetween(clears_, previous->time, r.time) : std::nullopt;
    const auto changes = compareWithPrevious(r, previous, cleared);
    // The changes list meters in meterFields() order.
    const QString name = QLatin1String(chartMeters()[static_cast<size_t>(meter)].name);
    size_t field = 0;
    while (field < meterFields().size() && name != QLatin1String(meterFields()[field].name)) {
        ++field;
    }
    return changeToolTip(changes.at(static_cast<size_t>(terminalIndex)).at(field));
}

QVariant HistoryTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = rowAt(index.row());
    const int column = index.column();
    if (row.reading < 0) {
        if (role != Qt::DisplayRole) {
            return {};
        }
        if (column == 0) {
            return row.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        }
        return column == 1 ? QStringLiteral("Memory cleared") : QVariant();
    }
    const MeterReading& r = readings_[static_cast<size_t>(row.reading)];
    if (column < kFixedColumns) {
        if (role != Qt::DisplayRole) {
            return {};
        }
        switch (column) {
            case 0:
                return r.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            case 1:
                return r.address ? QStringLiteral("%1 / %2").arg(r.port).arg(*r.address) : r.port;
            default:
                return r.firmwareVersion;
        }
    }
    const int meters = static_cast<int>(chartMeters().size());
    const int number = terminals_.at(static_cast<size_t>((column - kFixedColumns) / meters));
    const int meter = (column - kFixedColumns) % meters;
    const auto* t = terminalOf(r, number);
    if (!t) {
        return {};
    }
    const QString name = QLatin1String(chartMeters()[static_cast<size_t>(meter)].name);
    const bool backwards = t->wentBackwards.contains(name);
    switch (role) {
        case Qt::DisplayRole:
            return t->*fieldOf(name);
        case Qt::BackgroundRole:
            // The main window's amber behind dark text.
            return backwards ? QVariant(QBrush(QColor(0xFF, 0xC8, 0x70))) : QVariant();
        case Qt::ForegroundRole:
            return backwards ? QVariant(QBrush(Qt::black)) : QVariant();
        case Qt::ToolTipRole:
        case Qt::AccessibleDescriptionRole:
            return changeTip(row.reading, static_cast<int>(t - r.terminals.data()), meter);
        default:
            return {};
    }
}

}  // namespace tarvo
