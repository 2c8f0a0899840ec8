#include "history/meter_history.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>
#include <algorithm>
#include <map>
#include <set>

#include "history/history_sync.h"
#include "history/postgres_store.h"
#include "history/sqlite_store.h"

namespace tarvo {

namespace {

// Adds the entries kept here that the central list does not already hold (by uid; an entry
// without one was never sent).
template <typename T>
void appendUnsent(std::vector<T>& all, const std::vector<T>& here) {
    std::set<QString> sent;
    for (const auto& e : all) {
        sent.insert(e.uid);
    }
    for (const auto& e : here) {
        if (e.uid.isEmpty() || !sent.count(e.uid)) {
            all.push_back(e);
        }
    }
}

QString newKey() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

}  // namespace

MeterHistory::MeterHistory(QString path, Damaged onDamaged, std::function<QDateTime()> clock)
    : path_(path.isEmpty() ? defaultPath() : std::move(path)),
      file_(std::make_unique<SqliteStore>(path_,
                                          onDamaged == Damaged::Refuse
                                              ? SqliteStore::Damaged::Refuse
                                              : SqliteStore::Damaged::MoveAside,
                                          std::move(clock))) {}

MeterHistory::~MeterHistory() = default;

QString MeterHistory::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tarvo/meter-history.sqlite");
}

QStringList MeterHistory::takeNotices() {
    QStringList all = std::exchange(notices_, {});
    if (file_) {
        all << file_->takeNotices();
    }
    return all;
}

void MeterHistory::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    if (file_) {
        file_->setReadOnly(readOnly);
    }
}

bool MeterHistory::isCentralUrl(const QString& text) {
    QString why;
    return PostgresStore::parseAddress(text, &why).has_value();
}

std::unique_ptr<MeterHistory> MeterHistory::central(const QString& url,
                                                    std::shared_ptr<Interrupt> interrupt) {
    auto history = std::make_unique<MeterHistory>(url, Damaged::Refuse);
    history->file_.reset();
    history->central_ = std::make_unique<PostgresStore>(url, std::move(interrupt));
    history->centralOnly_ = true;
    return history;
}

void MeterHistory::setCentral(const QString& url, std::shared_ptr<Interrupt> interrupt,
                              int statementMs) {
    central_ = url.trimmed().isEmpty() ? nullptr
                                       : std::make_unique<PostgresStore>(
                                             url.trimmed(), std::move(interrupt), statementMs);
    centralProblem_.clear();
}

bool MeterHistory::centralFailed(const QString& why) {
    if (centralProblem_.isEmpty()) {
        notices_ << QStringLiteral(
                        "The central meter history cannot be used: %1. Readings are kept here "
                        "and sent later.")
                        .arg(why);
    }
    centralProblem_ = why;
    return false;
}

std::optional<StoredReading> MeterHistory::store(const MeterReading& reading) {
    if (!reading.error.isEmpty() || reading.serialNumber.trimmed().isEmpty()) {
        problem_ = QStringLiteral("A reading without a serial number is not kept");
        return std::nullopt;
    }
    const QString uid = newKey();
    if (centralOnly_) {
        auto kept = central_->keep(reading, uid);
        problem_ = kept ? QString() : central_->problem();
        return kept;
    }
    auto kept = file_->keepMarked(reading, uid, true);
    if (!kept) {
        problem_ = file_->problem();
        return std::nullopt;
    }
    if (!central_) {
        return kept;
    }
    // The central history knows the other technicians' readings: its comparison wins.
    std::vector<StoredReading> sent;
    pushPending(&sent);
    for (auto& s : sent) {
        if (s.uid == uid) {
            return std::move(s);
        }
    }
    return kept;
}

bool MeterHistory::recordMemoryClear(const QDateTime& time, const QString& port,
                                     std::optional<int> address, const QString& serial) {
    const MemoryClear clear{newKey(), time, port, address, serial};
    if (centralOnly_) {
        const bool kept = central_->keepClear(clear);
        problem_ = kept ? QString() : central_->problem();
        return kept;
    }
    if (!file_->keepClearMarked(clear, true)) {
        problem_ = file_->problem();
        return false;
    }
    if (central_) {
        pushPending();
    }
    return true;
}

std::optional<int> MeterHistory::pushPending(std::vector<StoredReading>* sent) {
    if (!central_ || centralOnly_) {
        centralProblem_ = QStringLiteral("No central meter history is set");
        return std::nullopt;
    }
    HistorySync sync(*file_, *central_);
    const auto pushed = sync.push();
    for (const QString& aside : sync.setAside()) {
        notices_ << QStringLiteral(
                        "The central meter history refused a reading; it is kept here, set "
                        "aside: %1")
                        .arg(aside);
    }
    if (!pushed) {
        centralFailed(sync.problem());
        return std::nullopt;
    }
    centralProblem_.clear();
    if (sent) {
        *sent = *pushed;
    }
    return static_cast<int>(pushed->size());
}

std::optional<int> MeterHistory::pendingCount() {
    if (!file_) {
        return 0;
    }
    const auto count = file_->waitingCount();
    if (!count) {
        problem_ = file_->problem();
    }
    return count;
}

std::optional<std::vector<MeterReading>> MeterHistory::readings(const Filter& filter) {
    std::vector<KeyedReading> all;
    std::vector<MemoryClear> clears;
    std::vector<HistoryStore*> sources;
    bool fromCentral = false;
    if (central_) {
        auto there = central_->readings(filter);
        auto cleared = there ? central_->clears(false) : std::nullopt;
        if (cleared) {
            all = std::move(*there);
            clears = std::move(*cleared);
            sources.push_back(central_.get());
            fromCentral = true;
            centralProblem_.clear();
        } else if (centralOnly_) {
            problem_ = central_->problem();
            return std::nullopt;
        } else {
            centralFailed(central_->problem());
        }
    }
    // What waits here belongs to the history too.
    if (file_ && (!readOnly_ || QFileInfo::exists(path_))) {
        Filter here = filter;
        here.waitingOnly = fromCentral;
        const auto kept = file_->readings(here);
        const auto cleared = kept ? file_->clears(fromCentral) : std::nullopt;
        if (!cleared) {
            problem_ = file_->problem();
            return std::nullopt;
        }
        appendUnsent(all, *kept);
        appendUnsent(clears, *cleared);
        sources.push_back(file_.get());
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.reading.time < b.reading.time; });
    // Both places may hold some of the newest: the newest of the two lists count.
    const size_t keep = filter.newest > 0 ? static_cast<size_t>(filter.newest) : all.size();
    std::vector<MeterReading> out;
    out.reserve(std::min(keep, all.size()));
    for (size_t i = all.size() > keep ? all.size() - keep : 0; i < all.size(); ++i) {
        out.push_back(std::move(all[i].reading));
    }
    // Whether the first reading listed went backwards depends on the one before it.
    std::vector<MeterReading> before;
    if (filter.since || filter.newest > 0) {
        std::map<QString, QDateTime> firsts;
        for (const auto& r : out) {
            firsts.emplace(r.serialNumber, r.time);
        }
        for (const auto& [serial, first] : firsts) {
            std::optional<MeterReading> latest;
            for (HistoryStore* s : sources) {
                const auto found = s->latestBefore(serial, first);
                if (!found) {
                    problem_ = s->problem();
                    return std::nullopt;
                }
                if (*found && (!latest || (*found)->time > latest->time)) {
                    latest = *found;
                }
            }
            if (latest) {
                before.push_back(*latest);
            }
        }
    }
    flagDrops(out, clears, before);
    return out;
}

std::optional<std::vector<HistoryBoard>> MeterHistory::boards() {
    std::optional<std::vector<Board>> all;
    const bool fileThere = file_ && (!readOnly_ || QFileInfo::exists(path_));
    if (central_) {
        all = central_->boards(false);
        if (!all && centralOnly_) {
            problem_ = central_->problem();
            return std::nullopt;
        }
        if (!all) {
            centralFailed(central_->problem());
        } else if (fileThere) {
            const auto here = file_->boards(true);
            if (!here) {
                problem_ = file_->problem();
                return std::nullopt;
            }
            for (const Board& b : *here) {
                auto it = std::find_if(all->begin(), all->end(),
                                       [&](const Board& a) { return a.serial == b.serial; });
                if (it == all->end()) {
                    all->push_back(b);
                } else {
                    it->lastReading = std::max(it->lastReading, b.lastReading);
                    it->readings += b.readings;
                }
            }
        }
    }
    if (!all) {
        all = fileThere ? file_->boards(false) : std::vector<Board>();
        if (!all) {
            problem_ = file_->problem();
            return std::nullopt;
        }
    }
    std::sort(all->begin(), all->end(),
              [](const Board& a, const Board& b) { return a.lastReading > b.lastReading; });
    return all;
}

std::optional<std::vector<QDateTime>> MeterHistory::memoryClears(const QString& serial) {
    std::vector<MemoryClear> all;
    bool fromCentral = false;
    if (central_) {
        if (auto there = central_->clears(false)) {
            all = std::move(*there);
            fromCentral = true;
        } else if (centralOnly_) {
            problem_ = central_->problem();
            return std::nullopt;
        } else {
            centralFailed(central_->problem());
        }
    }
    if (file_ && (!readOnly_ || QFileInfo::exists(path_))) {
        const auto here = file_->clears(fromCentral);
        if (!here) {
            problem_ = file_->problem();
            return std::nullopt;
        }
        all.insert(all.end(), here->begin(), here->end());
    }
    std::vector<QDateTime> out;
    std::set<QString> seen;
    for (const auto& c : all) {
        if (c.serial == serial && (c.uid.isEmpty() || seen.insert(c.uid).second)) {
            out.push_back(c.time);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace tarvo
