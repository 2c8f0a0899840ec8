#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "core/meter_reading.h"

namespace tarvo {

// How one meter moved since the previous reading of the same board.
struct MeterChange {
    bool first = true;            // the board (or this terminal) was never read before
    QString was;                  // the previous display text
    QDateTime wasTime;            // when it was read
    std::optional<qint64> delta;  // now - was, when both are numbers
    // A memory clear sent from this program between the two readings: a drop is expected.
    std::optional<QDateTime> clearedAt;

    bool wentBackwards() const { return delta && *delta < 0 && !clearedAt; }
};

// The changes of every meter, terminal by terminal in the order of the current reading;
// the meters in the order of meterFields().
using TerminalChanges = std::array<MeterChange, kMeterCount>;
std::vector<TerminalChanges> compareWithPrevious(const MeterReading& current,
                                                 const std::optional<MeterReading>& previous,
                                                 const std::optional<QDateTime>& clearedAt);

// The memory clear that explains lower meters at `current` after `previous`, or nothing: the
// last of `clears` (oldest first) sent after the previous reading, or up to 30 s before it
// (the board may still have shown the old meters then), and not after the current one.
std::optional<QDateTime> memoryClearBetween(const std::vector<QDateTime>& clears,
                                            const QDateTime& previous, const QDateTime& current);

// Fills each terminal's wentBackwards from `changes`.
void markWentBackwards(MeterReading& reading, const std::vector<TerminalChanges>& changes);

// A memory clear sent from this program: the lower meters of the board's next reading are
// expected. An empty serial stands for whatever board was at the port and address.
struct MemoryClear {
    QString uid;
    QDateTime time;
    QString port;
    std::optional<int> address;
    QString serial;
};

// The board takes this long to clear its memory: a reading that soon after the clear may
// still show the old meters, and the drop shows only at the reading after it.
inline constexpr qint64 kClearTakesMs = 30000;

// The clear, if any, that excuses a drop between `previous` and `current`: the latest one
// of that board (or of its port while its serial was unknown) from a little before the
// previous reading up to the current one.
std::optional<QDateTime> clearBetween(const MeterReading& previous, const MeterReading& current,
                                      const std::vector<MemoryClear>& clears);

// Flags the meters that went backwards, board by board in time order: `readings` oldest
// first; `before` holds for a board the reading just before its first one here, if any.
void flagDrops(std::vector<MeterReading>& readings, const std::vector<MemoryClear>& clears,
               const std::vector<MeterReading>& before = {});

// The tooltip of a meter display: "+120 since 2026-11-02 14:05" and the like.
QString changeToolTip(const MeterChange& change);

}  // namespace tarvo
