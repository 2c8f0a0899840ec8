#include "history/history_sync.h"

namespace tarvo {

std::optional<std::vector<StoredReading>> HistorySync::push() {
    setAside_.clear();
    const auto clears = local_.clears(true);
    HistoryFilter waitingOnly;
    waitingOnly.waitingOnly = true;
    const auto waiting = clears ? local_.readings(waitingOnly) : std::nullopt;
    if (!waiting) {
        problem_ = local_.problem();
        return std::nullopt;
    }
    for (const MemoryClear& c : *clears) {
        if (!central_.keepClear(c)) {
            problem_ = central_.problem();
            return std::nullopt;
        }
        local_.markSent("memory_clears", c.uid);
    }
    std::vector<StoredReading> sent;
    for (const KeyedReading& k : *waiting) {
        auto there = central_.keep(k.reading, k.uid);
        if (!there && central_.refusedLast()) {
            const QString why = central_.problem();
            setAside_ << QStringLiteral("%1 at %2: %3")
                             .arg(k.reading.serialNumber,
                                  k.reading.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                  why);
            local_.markSent("readings", k.uid, why);
            continue;
        }
        if (!there) {
            problem_ = central_.problem();
            return std::nullopt;
        }
        // Unmarked after all (the file is busy): sent again later, kept there once.
        local_.markSent("readings", k.uid);
        sent.push_back(std::move(*there));
    }
    problem_.clear();
    return sent;
}

}  // namespace tarvo
