#pragma once

#include <QSqlDatabase>
#include <QStringList>
#include <functional>

#include "history/history_store.h"

class QSqlError;

namespace tarvo {

// The local history: an SQLite file that several programs may write at once. The file is
// opened at the first use. Not thread-safe: one instance per thread.
class SqliteStore : public HistoryStore {
  public:
    // What to do with a file that is not a database or is damaged.
    enum class Damaged {
        MoveAside,  // keep it under a dated name and start a new one
        Refuse,     // leave it and fail
    };
    // `clock` dates a damaged file that is moved aside.
    SqliteStore(QString path, Damaged onDamaged, std::function<QDateTime()> clock);
    ~SqliteStore() override;

    static constexpr int kSchemaVersion = 4;
    const QString& path() const { return path_; }
    // Opens the file without changing anything in it, not even its journal mode; writing
    // then fails. Call before the first use.
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool readOnly() const { return readOnly_; }

    // Kept here; marked as waiting for the central history when `waiting`.
    std::optional<StoredReading> keepMarked(const MeterReading& reading, const QString& uid,
                                            bool waiting);
    bool keepClearMarked(const MemoryClear& clear, bool waiting);
    std::optional<StoredReading> keep(const MeterReading& reading, const QString& uid) override {
        return keepMarked(reading, uid, false);
    }
    bool keepClear(const MemoryClear& clear) override { return keepClearMarked(clear, false); }
    std::optional<std::vector<KeyedReading>> readings(const HistoryFilter& filter) override;
    std::optional<std::optional<MeterReading>> latestBefore(const QString& serial,
                                                            const QDateTime& time) override;
    std::optional<std::vector<HistoryBoard>> boards(bool waitingOnly) override;
    std::optional<std::vector<MemoryClear>> clears(bool waitingOnly) override;
    const QString& problem() const override { return problem_; }

    // The central history has it (`reason` empty), or refused it for `reason`: set aside.
    bool markSent(const char* table, const QString& uid, const QString& reason = {});
    std::optional<int> waitingCount();
    // Events the user should hear of once (a damaged file moved aside).
    QStringList takeNotices() { return std::exchange(notices_, {}); }

  private:
    bool ensureOpen();
    bool openFile();
    bool checkKind();
    bool prepareSchema();
    bool upgrade(int from);
    void close();
    bool handleDamage();
    template <typename Op>
    bool run(Op op);
    bool exec(const QString& sql);
    void rollback();
    bool fail(const QSqlError& error, const QString& what);
    std::optional<std::vector<KeyedReading>> select(const QString& where,
                                                    const QVariantList& binds);
    bool insertReading(const MeterReading& reading, const QString& uid, bool waiting);

    QString path_;
    bool readOnly_ = false;
    int fileVersion_ = kSchemaVersion;
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
