#pragma once

#include <QDateTime>
#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/meter_reading.h"
#include "history/meter_change.h"

class QSqlError;

namespace tarvo {

// What storing a reading found out about it.
struct StoredReading {
    MeterReading reading;  // as kept, wentBackwards filled in
    std::vector<TerminalChanges> changes;
};

// Every meter reading ever taken, kept in an SQLite file that several programs may write at
// once. The file is opened at the first use, not at construction. Not thread-safe: one
// instance per thread.
class MeterHistory {
  public:
    // What to do with a file that is not a database or is damaged.
    enum class Damaged {
        MoveAside,  // keep it under a dated name and start a new one
        Refuse,     // leave it and fail
    };
    // An empty `path` means defaultPath(). `clock` dates a damaged file that is moved aside.
    explicit MeterHistory(QString path = {}, Damaged onDamaged = Damaged::MoveAside,
                          std::function<QDateTime()> clock = {});
    ~MeterHistory();
    MeterHistory(const MeterHistory&) = delete;
    MeterHistory& operator=(const MeterHistory&) = delete;

    // $XDG_DATA_HOME/Tarvo/meter-history.sqlite.
    static QString defaultPath();
    const QString& path() const { return path_; }

    // Keeps one reading in one transaction and compares it with the previous reading of the
    // same board. Nothing when it was not kept: see problem(). A reading without a serial
    // number, or one that is only an error, is not kept.
    std::optional<StoredReading> store(const MeterReading& reading);
    // Notes a memory clear sent from this program, so that the lower meters of the board's
    // next reading are expected. An empty `serial` stands for whatever board is at
    // `port` / `address`. A reading up to 30 s after the clear may still show the old meters.
    bool recordMemoryClear(const QDateTime& time, const QString& port, std::optional<int> address,
                           const QString& serial);

    struct Filter {
        QString serial;                  // empty: every board
        std::optional<QDateTime> since;  // readings at or after this time
    };
    // Oldest first, with the meters that went backwards.
    std::optional<std::vector<MeterReading>> readings(const Filter& filter = {});

    // Why the last call failed.
    const QString& problem() const { return problem_; }
    // Events the user should hear of once (a damaged file moved aside, a central database out
    // of reach); taking clears them.
    QStringList takeNotices();

    // Opens the file without changing anything in it, not even its journal mode; writing
    // then fails. Call before the first use.
    void setReadOnly(bool readOnly);

    // A shared history on a PostgreSQL server, "postgresql://host[:port]/dbname". The
    // password comes from libpq's own sources (PGPASSWORD, ~/.pgpass), never from the URL.
    static bool isCentralUrl(const QString& text);
    static std::unique_ptr<MeterHistory> central(const QString& url);
    bool isCentral() const { return !url_.isEmpty(); }

    // Sends every reading of this file also to the central history at `url` (empty: none).
    // Each reading is kept here first and marked until the central history has it; store()
    // then answers with the changes the central history sees, and readings() lists the
    // central history and what is still waiting here.
    void setCentral(const QString& url);
    bool hasCentral() const { return central_ != nullptr; }
    // Sends what is still waiting. The number sent, or nothing when the central history
    // could not be reached: see centralProblem().
    std::optional<int> pushPending();
    // Readings kept here that the central history does not have yet.
    std::optional<int> pendingCount();
    const QString& centralProblem() const { return centralProblem_; }

    // The boards read, the one read last first.
    struct Board {
        QString serial;
        QDateTime lastReading;
        int readings = 0;
    };
    std::optional<std::vector<Board>> boards();
    // The memory clears sent to one board (or to its port while its serial was unknown),
    // oldest first.
    std::optional<std::vector<QDateTime>> memoryClears(const QString& serial);

    static constexpr int kSchemaVersion = 3;

  private:
    struct Keyed {
        MeterReading reading;
        QString uid;
    };
    bool ensureOpen();
    bool openFile();
    bool openServer();
    bool prepareServerSchema();
    bool begin(const QString& lockKey);
    std::optional<StoredReading> storeKeyed(const MeterReading& reading, const QString& uid,
                                            bool pushed);
    bool recordClearKeyed(const QDateTime& time, const QString& port, std::optional<int> address,
                          const QString& serial, const QString& uid, bool pushed);
    std::optional<std::vector<Keyed>> keyedReadings(const QString& where,
                                                    const QVariantList& binds);
    bool centralFailed(const QString& why);
    // Sends what waits here; fills `wanted` when the reading keyed `wantedUid` went out.
    std::optional<int> push(const QString& wantedUid, std::optional<StoredReading>* wanted);
    bool prepareSchema();
    bool upgrade(int from);
    bool recomputeFlags();
    void close();
    bool handleDamage();
    template <typename Op>
    bool run(Op op);
    bool exec(const QString& sql);
    // Undoes the open transaction, keeping the reason of the failure that led here.
    void rollback();
    bool fail(const QSqlError& error, const QString& what);
    std::optional<std::vector<MeterReading>> select(const QString& where, const QVariantList& binds,
                                                    std::vector<qint64>* ids = nullptr,
                                                    std::vector<QString>* uids = nullptr);
    bool insertReading(const MeterReading& reading, const QString& uid, bool pushed);
    std::optional<std::optional<QDateTime>> clearBetween(qint64 afterMs, const MeterReading& r);

    QString path_;
    QString url_;  // a central history: the server's address instead of a file
    bool readOnly_ = false;
    int fileVersion_ = kSchemaVersion;
    std::unique_ptr<MeterHistory> central_;
    // A server that let a connection time out is not tried again for a while: each reading
    // would wait for it.
    QDeadlineTimer quietUntil_;
    QString centralProblem_;
    Damaged onDamaged_;
    std::function<QDateTime()> clock_;
    QString connection_;
    QSqlDatabase db_;
    bool open_ = false;
    bool damaged_ = false;  // the last failure came from a damaged file
    QString problem_;
    QStringList notices_;
};

}  // namespace tarvo
