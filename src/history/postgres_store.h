#pragma once

#include <QDeadlineTimer>
#include <memory>

#include "history/history_store.h"
#include "history/pg_link.h"

namespace tarvo {

// The central history: the same tables on a PostgreSQL server that several programs share.
// Reading needs only the right to read; the tables are made at the first write. Every step
// is bounded on this side (see PgLink). Not thread-safe: one instance per thread.
class PostgresStore : public HistoryStore {
  public:
    // `url` is a connection URI, postgresql://[user@]host[:port]/dbname[?option=value&...].
    // `statementMs` bounds each statement on this side.
    PostgresStore(QString url, std::shared_ptr<Interrupt> interrupt,
                  int statementMs = kStatementMs);
    ~PostgresStore() override;

    static constexpr int kSchemaVersion = 3;
    static constexpr int kStatementMs = 10000;
    // libpq's keywords and values for `url`, or nothing with the reason in `why`: an option
    // libpq does not know, or a password (it belongs in ~/.pgpass or PGPASSWORD).
    static std::optional<PgLink::Params> parseAddress(const QString& url, QString* why);
    const QString& url() const { return url_; }

    std::optional<StoredReading> keep(const MeterReading& reading, const QString& uid) override;
    bool keepClear(const MemoryClear& clear) override;
    std::optional<std::vector<KeyedReading>> readings(const HistoryFilter& filter) override;
    std::optional<std::optional<MeterReading>> latestBefore(const QString& serial,
                                                            const QDateTime& time) override;
    std::optional<std::vector<HistoryBoard>> boards(bool waitingOnly) override;
    std::optional<std::vector<MemoryClear>> clears(bool waitingOnly) override;
    const QString& problem() const override { return problem_; }
    // The server answered the last write and refused it for what it held: sending it again
    // will not help.
    bool refusedLast() const { return refused_; }

  private:
    // Connected, the tables' version checked, and made when `writing`; false with problem_.
    bool ready(bool writing);
    PgLink::Result exec(const QString& sql, const QVariantList& binds = {});
    bool failed(const PgLink::Result& r, const QString& what);
    std::optional<std::vector<KeyedReading>> select(const QString& where,
                                                    const QVariantList& binds);
    bool createTables();
    bool insertReading(const MeterReading& r, const QString& uid);

    QString url_;
    std::shared_ptr<Interrupt> interrupt_;
    std::unique_ptr<PgLink> link_;
    bool checked_ = false;  // the tables' version was read on this connection
    bool tables_ = false;   // the tables are there
    int statementMs_;
    bool refused_ = false;
    // A server that let a connection time out is not tried again for a while: each call
    // would wait for it.
    QDeadlineTimer quietUntil_;
    QString problem_;
};

}  // namespace tarvo
