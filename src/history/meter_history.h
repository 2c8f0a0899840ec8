#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/meter_reading.h"
#include "history/history_store.h"
#include "history/meter_change.h"

namespace tarvo {

class Interrupt;
class PostgresStore;
class SqliteStore;

// Every meter reading ever taken: the local file, and optionally a central history that each
// reading is also sent to. Lists what both hold, with the meters that went backwards worked
// out board by board in time order over all of it. Not thread-safe: one instance per thread.
class MeterHistory {
  public:
    // What to do with a file that is not a database or is damaged.
    enum class Damaged {
        MoveAside,  // keep it under a dated name and start a new one
        Refuse,     // leave it and fail
    };
    using Board = HistoryBoard;
    using Filter = HistoryFilter;

    // An empty `path` means defaultPath(). `clock` dates a damaged file that is moved aside.
    explicit MeterHistory(QString path = {}, Damaged onDamaged = Damaged::MoveAside,
                          std::function<QDateTime()> clock = {});
    ~MeterHistory();
    MeterHistory(const MeterHistory&) = delete;
    MeterHistory& operator=(const MeterHistory&) = delete;

    // $XDG_DATA_HOME/Tarvo/meter-history.sqlite.
    static QString defaultPath();
    const QString& path() const { return path_; }

    // Keeps one reading and compares it with the reading of the same board before it in time.
    // Nothing when it was not kept: see problem(). A reading without a serial number, or one
    // that is only an error, is not kept. With a central history set the reading is kept here
    // first, marked as waiting, then sent; the answer is the central history's comparison
    // when it could be sent.
    std::optional<StoredReading> store(const MeterReading& reading);
    // Notes a memory clear sent from this program, so that the lower meters of the board's
    // next reading are expected. An empty `serial` stands for whatever board is at
    // `port` / `address`. A reading up to 30 s after the clear may still show the old meters.
    bool recordMemoryClear(const QDateTime& time, const QString& port, std::optional<int> address,
                           const QString& serial);

    // Oldest first, with the meters that went backwards.
    std::optional<std::vector<MeterReading>> readings(const Filter& filter = {});
    // The boards read, the one read last first.
    std::optional<std::vector<Board>> boards();
    // The memory clears sent to one board (or to its port while its serial was unknown),
    // oldest first.
    std::optional<std::vector<QDateTime>> memoryClears(const QString& serial);

    // Why the last call failed.
    const QString& problem() const { return problem_; }
    // Events the user should hear of once (a damaged file moved aside, a central history out
    // of reach, a reading it refused); taking clears them.
    QStringList takeNotices();

    // Opens the file without changing anything in it, not even its journal mode; writing
    // then fails. Call before the first use.
    void setReadOnly(bool readOnly);

    // A shared history on a PostgreSQL server: a connection URI,
    // "postgresql://[user@]host[:port]/dbname[?option=value&...]". The password comes from
    // libpq's own sources (PGPASSWORD, ~/.pgpass), never from the address. `interrupt`, when
    // given, ends every wait for the server at once.
    static bool isCentralUrl(const QString& text);
    static std::unique_ptr<MeterHistory> central(const QString& url,
                                                 std::shared_ptr<Interrupt> interrupt = {});
    bool isCentral() const { return centralOnly_; }

    // Sends every reading of this file also to the central history at `url` (empty: none).
    // readings() then lists the central history and what is still waiting here.
    void setCentral(const QString& url, std::shared_ptr<Interrupt> interrupt = {},
                    int statementMs = 10000);
    bool hasCentral() const { return central_ != nullptr && !centralOnly_; }
    // Sends what is still waiting. The number sent, or nothing when the central history
    // could not be reached: see centralProblem(). `sent` receives the central history's
    // comparison of each.
    std::optional<int> pushPending(std::vector<StoredReading>* sent = nullptr);
    // Readings kept here that the central history does not have yet.
    std::optional<int> pendingCount();
    const QString& centralProblem() const { return centralProblem_; }

    static constexpr int kSchemaVersion = 4;

  private:
    // The store listings come from: the central history when it answers, else the file.
    HistoryStore* source();
    bool centralFailed(const QString& why);

    QString path_;
    std::unique_ptr<SqliteStore> file_;
    std::unique_ptr<PostgresStore> central_;
    bool centralOnly_ = false;
    bool readOnly_ = false;
    QString centralProblem_;
    QString problem_;
    QStringList notices_;
};

}  // namespace tarvo
