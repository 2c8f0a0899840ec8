#include "history/meter_change.h"

#include <map>

namespace tarvo {

namespace {

std::optional<qint64> meterNumber(const QString& text) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QString minutes(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

std::vector<TerminalChanges> compareWithPrevious(const MeterReading& current,
                                                 const std::optional<MeterReading>& previous,
                                                 const std::optional<QDateTime>& clearedAt) {
    std::vector<TerminalChanges> out;
    const auto& fields = meterFields();
    for (const auto& t : current.terminals) {
        TerminalChanges changes{};
        const MeterReading::Terminal* before = nullptr;
        if (previous) {
            for (const auto& p : previous->terminals) {
                if (p.number == t.number) {
                    before = &p;
                }
            }
        }
        if (before) {
            for (size_t i = 0; i < fields.size(); ++i) {
                MeterChange& c = changes[i];
                c.first = false;
                c.was = before->*fields[i].field;
                c.wasTime = previous->time;
                c.clearedAt = clearedAt;
                const auto now = meterNumber(t.*fields[i].field);
                const auto was = meterNumber(c.was);
                if (now && was) {
                    c.delta = *now - *was;
                }
            }
        }
        out.push_back(changes);
    }
    return out;
}

std::optional<QDateTime> memoryClearBetween(const std::vector<QDateTime>& clears,
                                            const QDateTime& previous, const QDateTime& current) {
    const qint64 after = previous.toMSecsSinceEpoch() - kClearTakesMs;
    std::optional<QDateTime> found;
    for (const auto& c : clears) {
        if (c.toMSecsSinceEpoch() > after && c <= current) {
            found = c;
        }
    }
    return found;
}

void markWentBackwards(MeterReading& reading, const std::vector<TerminalChanges>& changes) {
    const auto& fields = meterFields();
    for (size_t n = 0; n < reading.terminals.size() && n < changes.size(); ++n) {
        QStringList names;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (changes[n][i].wentBackwards()) {
                names << QLatin1String(fields[i].name);
            }
        }
        reading.terminals[n].wentBackwards = names;
    }
}

std::optional<QDateTime> clearBetween(const MeterReading& previous, const MeterReading& current,
                                      const std::vector<MemoryClear>& clears) {
    const qint64 after = previous.time.toMSecsSinceEpoch() - kClearTakesMs;
    std::optional<QDateTime> found;
    for (const MemoryClear& c : clears) {
        const bool ours =
            c.serial == current.serialNumber ||
            (c.serial.isEmpty() && c.port == current.port && c.address == current.address);
        if (ours && c.time.toMSecsSinceEpoch() > after && c.time <= current.time &&
            (!found || c.time > *found)) {
            found = c.time;
        }
    }
    return found;
}

void flagDrops(std::vector<MeterReading>& readings, const std::vector<MemoryClear>& clears,
               const std::vector<MeterReading>& before) {
    std::map<QString, const MeterReading*> previous;
    for (const MeterReading& b : before) {
        previous[b.serialNumber] = &b;
    }
    for (MeterReading& r : readings) {
        const auto it = previous.find(r.serialNumber);
        if (it == previous.end()) {
            markWentBackwards(r, compareWithPrevious(r, std::nullopt, std::nullopt));
        } else {
            markWentBackwards(
                r, compareWithPrevious(r, *it->second, clearBetween(*it->second, r, clears)));
        }
        previous[r.serialNumber] = &r;
    }
}

QString changeToolTip(const MeterChange& c) {
    if (c.first) {
        return QStringLiteral("First reading of this board");
    }
    const QString when = minutes(c.wasTime);
    if (!c.delta) {
        return QStringLiteral("Was %1 on %2").arg(c.was.trimmed(), when);
    }
    if (*c.delta < 0) {
        if (c.clearedAt) {
            return QStringLiteral("Memory cleared on %1; was %2 on %3")
                .arg(minutes(*c.clearedAt), c.was.trimmed(), when);
        }
        return QStringLiteral("Was %1 on %2: went down by %3")
            .arg(c.was.trimmed(), when)
            .arg(-*c.delta);
    }
    if (*c.delta == 0) {
        return QStringLiteral("No change since %1").arg(when);
    }
    return QStringLiteral("+%1 since %2").arg(*c.delta).arg(when);
}

}  // namespace tarvo
