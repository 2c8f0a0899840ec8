#include "history/sqlite_store.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <atomic>

#include "history/sql_text.h"

namespace tarvo {

namespace {

constexpr int kBusyTimeoutMs = 10000;

bool isBusy(const QSqlError& error) {
    // SQLITE_BUSY and SQLITE_LOCKED.
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6");
}

bool isDamage(const QSqlError& error) {
    // SQLITE_CORRUPT and SQLITE_NOTADB.
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("11") || code == QLatin1String("26");
}

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("tarvo-meter-history-%1").arg(++counter);
}

}  // namespace

SqliteStore::SqliteStore(QString path, Damaged onDamaged, std::function<QDateTime()> clock)
    : path_(std::move(path)),
      onDamaged_(onDamaged),
      clock_(clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); }),
      connection_(nextConnectionName()) {}

SqliteStore::~SqliteStore() {
    close();
}

void SqliteStore::close() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection_);
    }
    open_ = false;
}

bool SqliteStore::fail(const QSqlError& error, const QString& what) {
    damaged_ = isDamage(error);
    problem_ = QStringLiteral("%1: %2").arg(what, error.text());
    return false;
}

bool SqliteStore::exec(const QString& sql) {
    QSqlQuery q(db_);
    return q.exec(sql) || fail(q.lastError(), QStringLiteral("Cannot use %1").arg(path_));
}

// Version and kind, read without writing: a file this program refuses stays as it was.
bool SqliteStore::checkKind() {
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        return fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
    }
    fileVersion_ = q.value(0).toInt();
    q.finish();
    if (fileVersion_ > kSchemaVersion) {
        problem_ = QStringLiteral("%1 was written by a newer version of this program").arg(path_);
        return false;
    }
    QSqlQuery tables(db_);
    if (!tables.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !tables.next()) {
        return fail(tables.lastError(), QStringLiteral("Cannot read %1").arg(path_));
    }
    if (fileVersion_ == 0 && tables.value(0).toInt() != 0) {
        problem_ = QStringLiteral("%1 is not a meter history").arg(path_);
        return false;
    }
    return true;
}

bool SqliteStore::openFile() {
    damaged_ = false;
    const QFileInfo info(path_);
    if (readOnly_ && !info.exists()) {
        problem_ = QStringLiteral("No meter history at %1").arg(path_);
        return false;
    }
    if (!readOnly_ && !QDir().mkpath(info.absolutePath())) {
        problem_ = QStringLiteral("Cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    auto openAs = [&](bool readOnly) {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db_.setDatabaseName(path_);
        db_.setConnectOptions(
            QStringLiteral("%1QSQLITE_BUSY_TIMEOUT=%2")
                .arg(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;") : QString())
                .arg(kBusyTimeoutMs));
        if (!db_.open()) {
            fail(db_.lastError(), QStringLiteral("Cannot open %1").arg(path_));
            close();
            return false;
        }
        return true;
    };
    // A file that is there is looked at first without a chance of writing to it.
    if (readOnly_ || info.size() > 0) {
        if (!openAs(true)) {
            return false;
        }
        if (!checkKind()) {
            close();
            return false;
        }
        if (readOnly_) {
            return true;
        }
        close();
    }
    if (!openAs(false)) {
        return false;
    }
    // Readers and a writer at once, and two writers one after the other without failing.
    // SQLite answers a change of journal mode with "locked" at once, without waiting,
    // while another program opens the same new file: wait for it here instead.
    const QDeadlineTimer deadline(kBusyTimeoutMs);
    for (;;) {
        QSqlQuery wal(db_);
        if (wal.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
            return true;
        }
        if (!isBusy(wal.lastError()) || deadline.hasExpired()) {
            fail(wal.lastError(), QStringLiteral("Cannot open %1").arg(path_));
            close();
            return false;
        }
        QThread::msleep(10);
    }
}

bool SqliteStore::ensureOpen() {
    for (int attempt = 0; !open_ && attempt < 2; ++attempt) {
        if (openFile() && prepareSchema()) {
            open_ = true;
            break;
        }
        close();
        if (!damaged_ || !handleDamage()) {
            return false;
        }
    }
    return open_;
}

bool SqliteStore::handleDamage() {
    close();
    if (onDamaged_ == Damaged::Refuse) {
        problem_ = QStringLiteral("The meter history %1 is damaged: %2").arg(path_, problem_);
        return false;
    }
    const QString dated =
        path_ + QStringLiteral(".corrupt-") + clock_().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = dated;
    for (int n = 2; QFile::exists(aside); ++n) {
        aside = dated + QStringLiteral("-%1").arg(n);
    }
    if (!QFile::rename(path_, aside)) {
        problem_ =
            QStringLiteral("The meter history %1 is damaged and cannot be moved aside").arg(path_);
        return false;
    }
    // The journal files belong to the damaged file; a new file must not pick them up.
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFile::exists(path_ + QLatin1String(suffix))) {
            QFile::rename(path_ + QLatin1String(suffix), aside + QLatin1String(suffix));
        }
    }
    notices_ << QStringLiteral(
                    "The meter history was damaged; it is kept as %1 and a new one "
                    "was started.")
                    .arg(QFileInfo(aside).fileName());
    return true;
}

bool SqliteStore::prepareSchema() {
    if (readOnly_) {
        return true;  // read as it is: an older file in its own shape, an empty one as empty
    }
    // Checked again inside the write transaction: another program may be upgrading too.
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    bool ok = checkKind();
    if (ok && fileVersion_ < kSchemaVersion) {
        ok = upgrade(fileVersion_);
    }
    if (!ok) {
        rollback();
        return false;
    }
    fileVersion_ = kSchemaVersion;
    return exec(QStringLiteral("COMMIT"));
}

bool SqliteStore::upgrade(int from) {
    const std::vector<QStringList> steps = sql::fileSchemaSteps();
    for (int v = from; v < kSchemaVersion; ++v) {
        for (const QString& sql : steps[static_cast<size_t>(v)]) {
            if (!exec(sql)) {
                return false;
            }
        }
    }
    return exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
}

template <typename Op>
bool SqliteStore::run(Op op) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureOpen()) {
            return false;
        }
        damaged_ = false;
        if (op()) {
            return true;
        }
        if (!damaged_ || !handleDamage()) {
            return false;
        }
    }
    return false;
}

void SqliteStore::rollback() {
    const QString why = problem_;
    const bool damaged = damaged_;
    exec(QStringLiteral("ROLLBACK"));
    problem_ = why;
    damaged_ = damaged;
}

std::optional<std::vector<KeyedReading>> SqliteStore::select(const QString& where,
                                                             const QVariantList& binds) {
    if (fileVersion_ == 0) {
        return std::vector<KeyedReading>();  // a new, empty file read as it is
    }
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    // A file read as it is may be older than the keys.
    q.prepare(sql::selectReadings(
        where, fileVersion_ >= 3 ? QStringLiteral("r.uid") : QStringLiteral("''")));
    for (const auto& b : binds) {
        q.addBindValue(b);
    }
    if (!q.exec()) {
        fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        return std::nullopt;
    }
    std::vector<KeyedReading> out;
    qint64 lastId = -1;
    while (q.next()) {
        std::vector<QVariant> row;
        for (int i = 0; i < sql::kSelectedColumns; ++i) {
            row.push_back(q.value(i));
        }
        sql::addRow(out, row, lastId);
    }
    if (q.lastError().isValid()) {
        fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<KeyedReading>> SqliteStore::readings(const HistoryFilter& filter) {
    if (filter.waitingOnly && readOnly_ && !QFileInfo::exists(path_)) {
        return std::vector<KeyedReading>();
    }
    std::optional<std::vector<KeyedReading>> out;
    run([&] {
        if (filter.waitingOnly && fileVersion_ < 3) {
            out.emplace();  // older than the central history: nothing of it waits
            return true;
        }
        QStringList where;
        QVariantList binds;
        if (!filter.serial.isEmpty()) {
            where << QStringLiteral("r.serial_number = ?");
            binds << filter.serial;
        }
        if (filter.since) {
            where << QStringLiteral("r.taken_ms >= ?");
            binds << filter.since->toMSecsSinceEpoch();
        }
        if (filter.before) {
            where << QStringLiteral("r.taken_ms < ?");
            binds << filter.before->toMSecsSinceEpoch();
        }
        if (filter.waitingOnly) {
            where << QStringLiteral("r.pushed = 0");
        }
        out = select(sql::newest(where.join(QStringLiteral(" AND ")), filter.newest), binds);
        return out.has_value();
    });
    return out;
}

std::optional<std::optional<MeterReading>> SqliteStore::latestBefore(const QString& serial,
                                                                     const QDateTime& time) {
    std::optional<std::optional<MeterReading>> out;
    run([&] {
        const auto found =
            select(QStringLiteral("r.id = (SELECT id FROM readings WHERE serial_number = ? AND "
                                  "taken_ms < ? ORDER BY taken_ms DESC, id DESC LIMIT 1)"),
                   {serial, time.toMSecsSinceEpoch()});
        if (!found) {
            return false;
        }
        out = found->empty() ? std::optional<MeterReading>()
                             : std::optional<MeterReading>(found->front().reading);
        return true;
    });
    return out;
}

std::optional<StoredReading> SqliteStore::keepMarked(const MeterReading& reading,
                                                     const QString& uid, bool waiting) {
    std::optional<StoredReading> result;
    const bool ok = run([&] {
        if (!exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            return false;
        }
        const bool done = [&] {
            // The latest earlier reading of the same board, whoever wrote it.
            const auto before = select(
                QStringLiteral("r.id = (SELECT id FROM readings WHERE serial_number = ? "
                               "AND taken_ms <= ? AND uid <> ? ORDER BY taken_ms DESC, id DESC "
                               "LIMIT 1)"),
                {reading.serialNumber, reading.time.toMSecsSinceEpoch(), uid});
            const auto cleared = before ? clears(false) : std::nullopt;
            if (!cleared) {
                return false;
            }
            result = sql::compared(reading, *before, *cleared, uid);
            QSqlQuery known(db_);
            known.prepare(QStringLiteral("SELECT count(*) FROM readings WHERE uid = ?"));
            known.addBindValue(uid);
            if (!known.exec() || !known.next()) {
                return fail(known.lastError(), QStringLiteral("Cannot read %1").arg(path_));
            }
            const bool fresh = known.value(0).toInt() == 0;
            known.finish();
            return (!fresh || insertReading(result->reading, uid, waiting)) &&
                   exec(QStringLiteral("COMMIT"));
        }();
        if (!done) {
            rollback();
        }
        return done;
    });
    return ok ? result : std::nullopt;
}

bool SqliteStore::insertReading(const MeterReading& r, const QString& uid, bool waiting) {
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("INSERT INTO readings (uid, pushed, taken_ms, taken_at, port, "
                       "address, serial_number, firmware_version, printer_firmware, "
                       "printer_status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(uid);
    q.addBindValue(waiting ? 0 : 1);
    for (const QVariant& v : sql::readingValues(r)) {
        q.addBindValue(v);
    }
    if (!q.exec()) {
        return fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
    }
    const qint64 id = q.lastInsertId().toLongLong();
    QSqlQuery t(db_);
    t.prepare(sql::insertTerminal(QStringLiteral("?")));
    for (const auto& terminal : r.terminals) {
        t.addBindValue(id);
        for (const QVariant& v : sql::terminalValues(terminal)) {
            t.addBindValue(v);
        }
        if (!t.exec()) {
            return fail(t.lastError(), QStringLiteral("Cannot write %1").arg(path_));
        }
    }
    return true;
}

bool SqliteStore::keepClearMarked(const MemoryClear& c, bool waiting) {
    return run([&] {
        QSqlQuery q(db_);
        q.prepare(
            QStringLiteral("INSERT INTO memory_clears (uid, pushed, taken_ms, taken_at, "
                           "port, address, serial_number) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(c.uid);
        q.addBindValue(waiting ? 0 : 1);
        for (const QVariant& v : sql::clearValues(c)) {
            q.addBindValue(v);
        }
        return q.exec() || fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
    });
}

std::optional<std::vector<MemoryClear>> SqliteStore::clears(bool waitingOnly) {
    if (readOnly_ && !QFileInfo::exists(path_)) {
        return std::vector<MemoryClear>();
    }
    std::optional<std::vector<MemoryClear>> out;
    run([&] {
        out.emplace();
        if (fileVersion_ < (waitingOnly ? 3 : 2)) {
            return true;
        }
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        if (!q.exec(
                sql::selectClears(fileVersion_ >= 3 ? QStringLiteral("uid") : QStringLiteral("''"),
                                  waitingOnly ? QStringLiteral("WHERE pushed = 0") : QString()))) {
            out.reset();
            return fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        }
        while (q.next()) {
            out->push_back(
                sql::clearOf({q.value(0), q.value(1), q.value(2), q.value(3), q.value(4)}));
        }
        return true;
    });
    return out;
}

std::optional<std::vector<HistoryBoard>> SqliteStore::boards(bool waitingOnly) {
    if (readOnly_ && !QFileInfo::exists(path_)) {
        return std::vector<HistoryBoard>();
    }
    std::optional<std::vector<HistoryBoard>> out;
    run([&] {
        out.emplace();
        if (fileVersion_ < (waitingOnly ? 3 : 1)) {
            return true;
        }
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT serial_number, max(taken_ms), count(*) FROM readings "
                                   "%1 GROUP BY serial_number")
                        .arg(waitingOnly ? QStringLiteral("WHERE pushed = 0") : QString()))) {
            out.reset();
            return fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        }
        while (q.next()) {
            out->push_back({q.value(0).toString(),
                            QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong()),
                            q.value(2).toInt()});
        }
        return true;
    });
    return out;
}

bool SqliteStore::markSent(const char* table, const QString& uid, const QString& reason) {
    return run([&] {
        QSqlQuery q(db_);
        const bool refused = !reason.isEmpty();
        q.prepare(QStringLiteral("UPDATE %1 SET pushed = %2%3 WHERE uid = ?")
                      .arg(QLatin1String(table))
                      .arg(refused ? 2 : 1)
                      .arg(refused ? QStringLiteral(", refused = ?") : QString()));
        if (refused) {
            q.addBindValue(reason);
        }
        q.addBindValue(uid);
        return q.exec() || fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
    });
}

std::optional<int> SqliteStore::waitingCount() {
    std::optional<int> count;
    run([&] {
        QSqlQuery q(db_);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM readings WHERE pushed = 0")) ||
            !q.next()) {
            return fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        }
        count = q.value(0).toInt();
        return true;
    });
    return count;
}

}  // namespace tarvo
