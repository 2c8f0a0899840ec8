#include "history/postgres_store.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

#include "history/sql_text.h"

namespace tarvo {

namespace {

// Serialises the making of the tables between programs.
constexpr qint64 kSchemaLock = 0x7461727630;
constexpr qint64 kQuietAfterTimeoutMs = 60000;
constexpr int kConnectTimeoutS = 3;

QStringList tables() {
    return {
        QStringLiteral("CREATE TABLE readings (id BIGSERIAL PRIMARY KEY, uid TEXT NOT NULL UNIQUE, "
                       "pushed INTEGER NOT NULL DEFAULT 1, taken_ms BIGINT NOT NULL, "
                       "taken_at TEXT NOT NULL, port TEXT NOT NULL, address INTEGER, "
                       "serial_number TEXT NOT NULL, firmware_version TEXT NOT NULL, "
                       "printer_firmware TEXT NOT NULL, printer_status TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX readings_by_board ON readings (serial_number, taken_ms)"),
        QStringLiteral("CREATE INDEX readings_by_time ON readings (taken_ms)"),
        QStringLiteral("CREATE TABLE terminals (reading_id BIGINT NOT NULL REFERENCES readings "
                       "(id), number INTEGER NOT NULL, went_backwards TEXT NOT NULL DEFAULT '', "
                       "%1, PRIMARY KEY (reading_id, number))")
            .arg(sql::terminalColumnTypes()),
        QStringLiteral("CREATE TABLE memory_clears (id BIGSERIAL PRIMARY KEY, uid TEXT NOT NULL "
                       "UNIQUE, pushed INTEGER NOT NULL DEFAULT 1, taken_ms BIGINT NOT NULL, "
                       "taken_at TEXT NOT NULL, port TEXT NOT NULL, address INTEGER, "
                       "serial_number TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX memory_clears_by_time ON memory_clears (taken_ms)"),
    };
}

// The server refused what was sent for what it holds (a value, a rule of the tables), not
// for the connection or the rights: sending it again will not help.
bool refusesTheData(const QString& state) {
    return state.startsWith(QLatin1String("22")) || state.startsWith(QLatin1String("23")) ||
           state.startsWith(QLatin1String("P0"));
}

}  // namespace

PostgresStore::PostgresStore(QString url, std::shared_ptr<Interrupt> interrupt, int statementMs)
    : url_(std::move(url)), interrupt_(std::move(interrupt)), statementMs_(statementMs) {}

PostgresStore::~PostgresStore() = default;

std::optional<PgLink::Params> PostgresStore::parseAddress(const QString& text, QString* why) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("postgresql") &&
         url.scheme() != QLatin1String("postgres")) ||
        url.host().isEmpty() || url.path().size() <= 1) {
        *why = QStringLiteral(
                   "%1 is not a central history address "
                   "(postgresql://host[:port]/dbname[?option=value])")
                   .arg(text);
        return std::nullopt;
    }
    const QString passwordWords = QStringLiteral(
        "The central history address must not hold a password: give it in ~/.pgpass or "
        "PGPASSWORD");
    if (!url.password().isEmpty()) {
        *why = passwordWords;
        return std::nullopt;
    }
    PgLink::Params params = {
        {"host", url.host().toUtf8()},
        {"port", QByteArray::number(url.port(5432))},
        {"dbname", url.path().mid(1).toUtf8()},
        {"connect_timeout", QByteArray::number(kConnectTimeoutS)},
        // A link that dies quietly is noticed by the system too, not only by the bounds here.
        {"keepalives", "1"},
        {"keepalives_idle", "10"},
        {"keepalives_interval", "5"},
        {"keepalives_count", "3"},
        {"application_name", "tarvo"},
        {"options", "-c statement_timeout=15000 -c client_min_messages=warning"},
    };
    if (!url.userName().isEmpty()) {
        params.push_back({"user", url.userName().toUtf8()});
    }
    const auto known = PgLink::keywords();
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        const QByteArray k = key.toUtf8();
        if (k == "password") {
            *why = passwordWords;
            return std::nullopt;
        }
        if (std::find(known.begin(), known.end(), k) == known.end()) {
            *why = QStringLiteral("The central history address has an unknown option: %1").arg(key);
            return std::nullopt;
        }
        auto given =
            std::find_if(params.begin(), params.end(), [&](const auto& p) { return p.first == k; });
        if (given != params.end()) {
            given->second = value.toUtf8();
        } else {
            params.push_back({k, value.toUtf8()});
        }
    }
    return params;
}

PgLink::Result PostgresStore::exec(const QString& sql, const QVariantList& binds) {
    return link_->exec(sql, binds);
}

bool PostgresStore::failed(const PgLink::Result& r, const QString& what) {
    refused_ = refusesTheData(r.sqlState);
    if (r.sqlState == QLatin1String("42501")) {
        problem_ = QStringLiteral(
                       "The role %1 may read the central history %2 but not write to it; the "
                       "readings are kept here")
                       .arg(link_->user(), url_);
    } else {
        problem_ = QStringLiteral("%1 %2: %3").arg(what, url_, r.problem);
    }
    if (link_->isOpen() && !r.sqlState.isEmpty()) {
        link_->exec(QStringLiteral("ROLLBACK"));
    }
    if (!link_->isOpen()) {
        checked_ = false;
    }
    return false;
}

bool PostgresStore::ready(bool writing) {
    refused_ = false;
    if (!link_) {
        link_ = std::make_unique<PgLink>(interrupt_, statementMs_);
    }
    if (!link_->isOpen()) {
        checked_ = false;
        QString why;
        const auto params = parseAddress(url_, &why);
        if (!params) {
            problem_ = why;
            return false;
        }
        if (!quietUntil_.hasExpired()) {
            return false;  // the reason of the last try stands
        }
        int connectS = kConnectTimeoutS;
        for (const auto& [key, value] : *params) {
            if (key == "connect_timeout") {
                connectS = std::max(2, value.toInt());
            }
        }
        QElapsedTimer trying;
        trying.start();
        if (!link_->open(*params, connectS * 1000 + 500)) {
            problem_ = QStringLiteral("Cannot reach %1: %2").arg(url_, link_->problem());
            if (trying.elapsed() >= connectS * 1000) {
                quietUntil_.setRemainingTime(kQuietAfterTimeoutMs);
            }
            return false;
        }
    }
    if (!checked_) {
        // Looked up first: a role that may only read cannot make it.
        const auto there = exec(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL"));
        if (!there.ok || there.rows.empty()) {
            return failed(there, QStringLiteral("Cannot read"));
        }
        int v = 0;
        if (there.rows[0][0].toString() == QLatin1String("t")) {
            const auto version =
                exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM schema_version"));
            if (!version.ok || version.rows.empty()) {
                return failed(version, QStringLiteral("Cannot read"));
            }
            v = version.rows[0][0].toInt();
        }
        if (v > kSchemaVersion) {
            problem_ = QStringLiteral(
                           "The central history %1 was written by a newer version of this "
                           "program (schema %2, this one knows %3)")
                           .arg(url_)
                           .arg(v)
                           .arg(kSchemaVersion);
            return false;
        }
        tables_ = v > 0;
        checked_ = true;
    }
    return !writing || tables_ || createTables();
}

bool PostgresStore::createTables() {
    auto step = [&](const QString& sql, const QVariantList& binds = {}) {
        const auto r = exec(sql, binds);
        return r.ok || failed(r, QStringLiteral("Cannot prepare"));
    };
    if (!step(QStringLiteral("BEGIN")) ||
        !step(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock)) ||
        !step(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))) {
        return false;
    }
    const auto there = exec(QStringLiteral("SELECT count(*) FROM schema_version"));
    if (!there.ok || there.rows.empty()) {
        return failed(there, QStringLiteral("Cannot read"));
    }
    if (there.rows[0][0].toInt() == 0) {
        QStringList steps = tables();
        steps << QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(kSchemaVersion);
        for (const QString& sql : steps) {
            if (!step(sql)) {
                return false;
            }
        }
    }
    if (!step(QStringLiteral("COMMIT"))) {
        return false;
    }
    tables_ = true;
    return true;
}

std::optional<std::vector<KeyedReading>> PostgresStore::select(const QString& where,
                                                               const QVariantList& binds) {
    const auto r = exec(sql::selectReadings(where, QStringLiteral("r.uid")), binds);
    if (!r.ok) {
        failed(r, QStringLiteral("Cannot read"));
        return std::nullopt;
    }
    std::vector<KeyedReading> out;
    qint64 lastId = -1;
    for (const auto& row : r.rows) {
        sql::addRow(out, row, lastId);
    }
    return out;
}

std::optional<StoredReading> PostgresStore::keep(const MeterReading& reading, const QString& uid) {
    if (!ready(true)) {
        return std::nullopt;
    }
    auto step = [&](const QString& sql, const QVariantList& binds = {}) {
        const auto r = exec(sql, binds);
        return r.ok || failed(r, QStringLiteral("Cannot write"));
    };
    // Writers of the same board take turns, so each compares with the one before it.
    if (!step(QStringLiteral("BEGIN")) ||
        !step(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext($1))"),
              {reading.serialNumber})) {
        return std::nullopt;
    }
    const auto before = select(
        QStringLiteral("r.id = (SELECT id FROM readings WHERE serial_number = $1 AND taken_ms <= "
                       "$2 AND uid <> $3 ORDER BY taken_ms DESC, id DESC LIMIT 1)"),
        {reading.serialNumber, reading.time.toMSecsSinceEpoch(), uid});
    const auto cleared = before ? clears(false) : std::nullopt;
    if (!cleared) {
        return std::nullopt;
    }
    StoredReading s = sql::compared(reading, *before, *cleared, uid);
    // Sent before, its answer lost on the way: the copy there stays the only one.
    const auto known = exec(QStringLiteral("SELECT count(*) FROM readings WHERE uid = $1"), {uid});
    if (!known.ok || known.rows.empty()) {
        failed(known, QStringLiteral("Cannot read"));
        return std::nullopt;
    }
    if ((known.rows[0][0].toInt() == 0 && !insertReading(s.reading, uid)) ||
        !step(QStringLiteral("COMMIT"))) {
        return std::nullopt;
    }
    return s;
}

bool PostgresStore::insertReading(const MeterReading& r, const QString& uid) {
    QVariantList values{uid};
    values << sql::readingValues(r);
    const auto inserted =
        exec(QStringLiteral("INSERT INTO readings (uid, pushed, taken_ms, taken_at, port, address, "
                            "serial_number, firmware_version, printer_firmware, printer_status) "
                            "VALUES ($1, 1, $2, $3, $4, $5, $6, $7, $8, $9) RETURNING id"),
             values);
    if (!inserted.ok || inserted.rows.empty()) {
        return failed(inserted, QStringLiteral("Cannot write"));
    }
    const QString insert = sql::insertTerminal(QStringLiteral("$"));
    for (const auto& terminal : r.terminals) {
        QVariantList binds{inserted.rows[0][0]};
        binds << sql::terminalValues(terminal);
        const auto t = exec(insert, binds);
        if (!t.ok) {
            return failed(t, QStringLiteral("Cannot write"));
        }
    }
    return true;
}

bool PostgresStore::keepClear(const MemoryClear& c) {
    if (!ready(true)) {
        return false;
    }
    QVariantList values{c.uid};
    values << sql::clearValues(c);
    const auto r =
        exec(QStringLiteral("INSERT INTO memory_clears (uid, pushed, taken_ms, taken_at, "
                            "port, address, serial_number) VALUES ($1, 1, $2, $3, $4, "
                            "$5, $6) ON CONFLICT (uid) DO NOTHING"),
             values);
    return r.ok || failed(r, QStringLiteral("Cannot write"));
}

std::optional<std::vector<KeyedReading>> PostgresStore::readings(const HistoryFilter& filter) {
    if (!ready(false)) {
        return std::nullopt;
    }
    if (!tables_) {
        return std::vector<KeyedReading>();  // nothing was ever sent there
    }
    QStringList where;
    QVariantList binds;
    if (!filter.serial.isEmpty()) {
        binds << filter.serial;
        where << QStringLiteral("r.serial_number = $%1").arg(binds.size());
    }
    if (filter.since) {
        binds << filter.since->toMSecsSinceEpoch();
        where << QStringLiteral("r.taken_ms >= $%1").arg(binds.size());
    }
    if (filter.before) {
        binds << filter.before->toMSecsSinceEpoch();
        where << QStringLiteral("r.taken_ms < $%1").arg(binds.size());
    }
    return select(sql::newest(where.join(QStringLiteral(" AND ")), filter.newest), binds);
}

std::optional<std::optional<MeterReading>> PostgresStore::latestBefore(const QString& serial,
                                                                       const QDateTime& time) {
    if (!ready(false)) {
        return std::nullopt;
    }
    if (!tables_) {
        return std::optional<MeterReading>();
    }
    const auto found = select(
        QStringLiteral("r.id = (SELECT id FROM readings WHERE serial_number = $1 AND taken_ms < "
                       "$2 ORDER BY taken_ms DESC, id DESC LIMIT 1)"),
        {serial, time.toMSecsSinceEpoch()});
    if (!found) {
        return std::nullopt;
    }
    return found->empty() ? std::optional<MeterReading>()
                          : std::optional<MeterReading>(found->front().reading);
}

std::optional<std::vector<HistoryBoard>> PostgresStore::boards(bool) {
    if (!ready(false)) {
        return std::nullopt;
    }
    std::vector<HistoryBoard> out;
    if (!tables_) {
        return out;
    }
    const auto r = exec(QStringLiteral(
        "SELECT serial_number, max(taken_ms), count(*) FROM readings GROUP BY serial_number"));
    if (!r.ok) {
        failed(r, QStringLiteral("Cannot read"));
        return std::nullopt;
    }
    for (const auto& row : r.rows) {
        out.push_back({row[0].toString(), QDateTime::fromMSecsSinceEpoch(row[1].toLongLong()),
                       row[2].toInt()});
    }
    return out;
}

std::optional<std::vector<MemoryClear>> PostgresStore::clears(bool) {
    if (!ready(false)) {
        return std::nullopt;
    }
    std::vector<MemoryClear> out;
    if (!tables_) {
        return out;
    }
    const auto r = exec(sql::selectClears(QStringLiteral("uid"), QString()));
    if (!r.ok) {
        failed(r, QStringLiteral("Cannot read"));
        return std::nullopt;
    }
    for (const auto& row : r.rows) {
        out.push_back(sql::clearOf(row));
    }
    return out;
}

}  // namespace tarvo
