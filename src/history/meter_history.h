#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
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
    // Events the user should hear of once (a damaged file moved aside); taking clears them.
    QStringList takeNotices();

    static constexpr int kSchemaVersion = 2;

  private:
    bool ensureOpen();
    bool openFile();
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
                                                    std::vector<qint64>* ids = nullptr);
    bool insertReading(const MeterReading& reading);
    std::optional<std::optional<QDateTime>> clearBetween(qint64 afterMs, const MeterReading& r);

    QString path_;
    Damaged onDamaged_;
    std::function<QDateTime()> clock_;
    QString connection_;
    QSqlDatabase db_;
    bool open_ = false;
    bool damaged_ = false;  // the last failure came from a damaged file
    QString problem_;
    QStringList notices_;
};

// `history [--serial S] [--since DATE] [--format json|csv|text] [--database PATH]`, given the
// arguments after the word "history". DATE is YYYY-MM-DD or an ISO date-time, local time.
// Prints one record per reading, oldest first. Returns the exit status: zero when printed,
// one when the history could not be read, two for wrong usage.
int runHistoryCommand(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace tarvo
