#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "core/meter_reading.h"
#include "history/meter_change.h"

namespace tarvo {

// What keeping a reading found out about it.
struct StoredReading {
    MeterReading reading;  // as kept, wentBackwards filled in
    std::vector<TerminalChanges> changes;
    QString uid;  // the reading's own key, the same in every history that holds it
};

// A reading with its key, as a store lists it.
struct KeyedReading {
    MeterReading reading;
    QString uid;
};

// The boards read, the one read last first.
struct HistoryBoard {
    QString serial;
    QDateTime lastReading;
    int readings = 0;
};

struct HistoryFilter {
    HistoryFilter(QString serial = {}, std::optional<QDateTime> since = {})
        : serial(std::move(serial)), since(std::move(since)) {}
    QString serial;                   // empty: every board
    std::optional<QDateTime> since;   // readings at or after this time
    std::optional<QDateTime> before;  // readings before this time
    int newest = 0;                   // only the newest so many of them; 0: all
    bool waitingOnly = false;         // a local file: only what the central history lacks
};

// One place the readings are kept: the local file or the central history. The comparisons
// it makes are those of the readings it holds.
class HistoryStore {
  public:
    virtual ~HistoryStore() = default;

    // Keeps `reading` under `uid` (once, however often it comes) and compares it with the
    // reading of the same board just before it in time.
    virtual std::optional<StoredReading> keep(const MeterReading& reading, const QString& uid) = 0;
    virtual bool keepClear(const MemoryClear& clear) = 0;
    // Oldest first; wentBackwards as kept, which the history works out anew when it lists.
    virtual std::optional<std::vector<KeyedReading>> readings(const HistoryFilter& filter) = 0;
    // The board's reading just before `time`, if any (nothing on failure: see problem()).
    virtual std::optional<std::optional<MeterReading>> latestBefore(const QString& serial,
                                                                    const QDateTime& time) = 0;
    virtual std::optional<std::vector<HistoryBoard>> boards(bool waitingOnly) = 0;
    virtual std::optional<std::vector<MemoryClear>> clears(bool waitingOnly) = 0;
    // Why the last call failed.
    virtual const QString& problem() const = 0;
};

}  // namespace tarvo
