#include "history/meter_history.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <map>
#include <set>

namespace tarvo {

namespace {

constexpr int kBusyTimeoutMs = 10000;
// A refused connection answers at once; one that took this long ran into the time-out.
constexpr qint64 kSlowConnectMs = 1500;
constexpr qint64 kQuietAfterTimeoutMs = 60000;
// The board takes this long to clear its memory: a reading that soon after the clear may
// still show the old meters, and the drop shows only at the reading after it.
constexpr qint64 kClearTakesMs = 30000;

// The terminal columns: every text field of a terminal, under its column name.
const auto& terminalColumns() {
    return kTerminalFields;
}

QString columnList(const QString& prefix) {
    QStringList names;
    for (const auto& c : terminalColumns()) {
        names << prefix + QLatin1String(c.column);
    }
    return names.join(QStringLiteral(", "));
}

// Version 1: the readings and their terminals.
QStringList version1() {
    QStringList terminalCols;
    for (const auto& c : terminalColumns()) {
        terminalCols << QStringLiteral("%1 TEXT NOT NULL").arg(QLatin1String(c.column));
    }
    return {
        QStringLiteral("CREATE TABLE readings (id INTEGER PRIMARY KEY, taken_ms INTEGER NOT NULL, "
                       "taken_at TEXT NOT NULL, port TEXT NOT NULL, address INTEGER, "
                       "serial_number TEXT NOT NULL, firmware_version TEXT NOT NULL, "
                       "printer_firmware TEXT NOT NULL, printer_status TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX readings_by_board ON readings (serial_number, taken_ms)"),
        QStringLiteral("CREATE INDEX readings_by_time ON readings (taken_ms)"),
        QStringLiteral("CREATE TABLE terminals (reading_id INTEGER NOT NULL REFERENCES "
                       "readings (id), number INTEGER NOT NULL, %1, "
                       "PRIMARY KEY (reading_id, number))")
            .arg(terminalCols.join(QStringLiteral(", "))),
    };
}

// Version 2: the meters that went backwards, and the memory clears that excuse them.
QStringList version2() {
    return {
        QStringLiteral("ALTER TABLE terminals ADD COLUMN went_backwards TEXT NOT NULL DEFAULT ''"),
        QStringLiteral("CREATE TABLE memory_clears (id INTEGER PRIMARY KEY, taken_ms INTEGER NOT "
                       "NULL, taken_at TEXT NOT NULL, port TEXT NOT NULL, address INTEGER, "
                       "serial_number TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX memory_clears_by_time ON memory_clears (taken_ms)"),
    };
}

// Version 3: each reading and clear gets a key of its own, so that sending it to a central
// history twice keeps one copy, and a mark until the central history has it.
QStringList version3() {
    QStringList steps;
    for (const char* table : {"readings", "memory_clears"}) {
        const QString t = QLatin1String(table);
        steps
            << QStringLiteral("ALTER TABLE %1 ADD COLUMN uid TEXT").arg(t)
            << QStringLiteral("ALTER TABLE %1 ADD COLUMN pushed INTEGER NOT NULL DEFAULT 0").arg(t)
            << QStringLiteral("UPDATE %1 SET uid = lower(hex(randomblob(16)))").arg(t)
            << QStringLiteral("CREATE UNIQUE INDEX %1_by_uid ON %1 (uid)").arg(t)
            << QStringLiteral("CREATE INDEX %1_waiting ON %1 (pushed)").arg(t);
    }
    return steps;
}

// The central history's tables: the same columns as the file at its newest version.
QStringList serverSchema() {
    QStringList terminalCols;
    for (const auto& c : terminalColumns()) {
        terminalCols << QStringLiteral("%1 TEXT NOT NULL").arg(QLatin1String(c.column));
    }
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
            .arg(terminalCols.join(QStringLiteral(", "))),
        QStringLiteral("CREATE TABLE memory_clears (id BIGSERIAL PRIMARY KEY, uid TEXT NOT NULL "
                       "UNIQUE, pushed INTEGER NOT NULL DEFAULT 1, taken_ms BIGINT NOT NULL, "
                       "taken_at TEXT NOT NULL, port TEXT NOT NULL, address INTEGER, "
                       "serial_number TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX memory_clears_by_time ON memory_clears (taken_ms)"),
    };
}

// Serialises schema changes on the server between programs.
constexpr qint64 kSchemaLock = 0x7461727630;

QString newKey() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

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

QVariant addressValue(std::optional<int> address) {
    return address ? QVariant(*address) : QVariant(QMetaType(QMetaType::Int));
}

// Qt binds a null string as NULL; the text columns hold "" instead.
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("tarvo-meter-history-%1").arg(++counter);
}

}  // namespace

MeterHistory::MeterHistory(QString path, Damaged onDamaged, std::function<QDateTime()> clock)
    : path_(path.isEmpty() ? defaultPath() : std::move(path)),
      onDamaged_(onDamaged),
      clock_(clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); }),
      connection_(nextConnectionName()) {}

MeterHistory::~MeterHistory() {
    close();
}

QString MeterHistory::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tarvo/meter-history.sqlite");
}

QStringList MeterHistory::takeNotices() {
    QStringList all = std::exchange(notices_, {});
    if (central_) {
        all << central_->takeNotices();
    }
    return all;
}

void MeterHistory::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
}

bool MeterHistory::isCentralUrl(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() &&
           (url.scheme() == QLatin1String("postgresql") ||
            url.scheme() == QLatin1String("postgres")) &&
           !url.host().isEmpty() && url.path().size() > 1;
}

std::unique_ptr<MeterHistory> MeterHistory::central(const QString& url) {
    auto history = std::make_unique<MeterHistory>(url, Damaged::Refuse);
    history->url_ = url;
    return history;
}

void MeterHistory::setCentral(const QString& url) {
    central_ = url.trimmed().isEmpty() ? nullptr : central(url.trimmed());
    centralProblem_.clear();
}

void MeterHistory::close() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection_);
    }
    open_ = false;
}

bool MeterHistory::fail(const QSqlError& error, const QString& what) {
    damaged_ = isDamage(error);
    problem_ = QStringLiteral("%1: %2").arg(what, error.text());
    return false;
}

bool MeterHistory::exec(const QString& sql) {
    QSqlQuery q(db_);
    return q.exec(sql) || fail(q.lastError(), QStringLiteral("Cannot use %1").arg(path_));
}

bool MeterHistory::openServer() {
    damaged_ = false;
    const QUrl url(url_, QUrl::StrictMode);
    if (!isCentralUrl(url_)) {
        problem_ = QStringLiteral(
                       "%1 is not a central history address "
                       "(postgresql://host[:port]/dbname)")
                       .arg(url_);
        return false;
    }
    if (!url.password().isEmpty()) {
        problem_ = QStringLiteral(
            "The central history address must not hold a password: give it in ~/.pgpass or "
            "PGPASSWORD");
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        problem_ = QStringLiteral("Qt's PostgreSQL driver is not installed");
        return false;
    }
    if (!quietUntil_.hasExpired()) {
        return false;  // the reason of the last try stands
    }
    QElapsedTimer trying;
    trying.start();
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    db_.setHostName(url.host());
    db_.setPort(url.port(5432));
    db_.setDatabaseName(url.path().mid(1));
    if (!url.userName().isEmpty()) {
        db_.setUserName(url.userName());
    }
    // A server out of reach must not hold a reading for long; it is sent later instead.
    db_.setConnectOptions(QStringLiteral(
        "connect_timeout=3;options='-c statement_timeout=15000 -c client_min_messages=warning'"));
    if (!db_.open()) {
        fail(db_.lastError(), QStringLiteral("Cannot reach %1").arg(url_));
        close();
        if (trying.elapsed() > kSlowConnectMs) {
            quietUntil_.setRemainingTime(kQuietAfterTimeoutMs);
        }
        return false;
    }
    return true;
}

bool MeterHistory::prepareServerSchema() {
    if (!exec(QStringLiteral("BEGIN")) ||
        !exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock)) ||
        !exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))) {
        rollback();
        return false;
    }
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !q.next()) {
        fail(q.lastError(), QStringLiteral("Cannot read %1").arg(url_));
        rollback();
        return false;
    }
    const bool empty = q.value(0).isNull();
    const int version = q.value(0).toInt();
    q.finish();
    if (version > kSchemaVersion) {
        problem_ = QStringLiteral(
                       "The central history %1 was written by a newer version of this program "
                       "(schema %2, this one knows %3)")
                       .arg(url_)
                       .arg(version)
                       .arg(kSchemaVersion);
        rollback();
        return false;
    }
    if (empty) {
        QStringList steps = serverSchema();
        steps << QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(kSchemaVersion);
        for (const QString& sql : steps) {
            if (!exec(sql)) {
                rollback();
                return false;
            }
        }
    }
    return exec(QStringLiteral("COMMIT"));
}

bool MeterHistory::openFile() {
    damaged_ = false;
    const QFileInfo info(path_);
    if (readOnly_) {
        if (!info.exists()) {
            problem_ = QStringLiteral("No meter history at %1").arg(path_);
            return false;
        }
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db_.setDatabaseName(path_);
        db_.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (!db_.open()) {
            fail(db_.lastError(), QStringLiteral("Cannot open %1").arg(path_));
            close();
            return false;
        }
        return true;
    }
    if (!QDir().mkpath(info.absolutePath())) {
        problem_ = QStringLiteral("Cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path_);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db_.open()) {
        fail(db_.lastError(), QStringLiteral("Cannot open %1").arg(path_));
        close();
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

bool MeterHistory::ensureOpen() {
    for (int attempt = 0; !open_ && attempt < 2; ++attempt) {
        const bool ready =
            isCentral() ? openServer() && prepareServerSchema() : openFile() && prepareSchema();
        if (ready) {
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

bool MeterHistory::handleDamage() {
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

bool MeterHistory::prepareSchema() {
    if (readOnly_) {
        // Read as it is: an older file is read in its own shape, an empty one as no readings.
        QSqlQuery q(db_);
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            return fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        }
        fileVersion_ = q.value(0).toInt();
        q.finish();
        if (fileVersion_ > kSchemaVersion) {
            problem_ =
                QStringLiteral("%1 was written by a newer version of this program").arg(path_);
            return false;
        }
        QSqlQuery tables(db_);
        if (fileVersion_ == 0 &&
            (!tables.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !tables.next() ||
             tables.value(0).toInt() != 0)) {
            problem_ = QStringLiteral("%1 is not a meter history").arg(path_);
            return tables.lastError().isValid()
                       ? fail(tables.lastError(), QStringLiteral("Cannot read %1").arg(path_))
                       : false;
        }
        return true;
    }
    // Checked again inside the write transaction: another program may be upgrading too.
    if (!exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        rollback();
        return false;
    }
    const int version = q.value(0).toInt();
    q.finish();
    bool ok = true;
    if (version > kSchemaVersion) {
        problem_ = QStringLiteral("%1 was written by a newer version of this program").arg(path_);
        ok = false;
    } else if (version == 0) {
        QSqlQuery tables(db_);
        ok = tables.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && tables.next()
                 ? true
                 : fail(tables.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        if (ok && tables.value(0).toInt() != 0) {
            problem_ = QStringLiteral("%1 is not a meter history").arg(path_);
            ok = false;
        }
    }
    if (ok && version < kSchemaVersion) {
        ok = upgrade(version);
    }
    if (!ok) {
        rollback();
        return false;
    }
    return exec(QStringLiteral("COMMIT"));
}

bool MeterHistory::upgrade(int from) {
    const std::vector<QStringList> steps = {version1(), version2(), version3()};
    for (int v = from; v < kSchemaVersion; ++v) {
        for (const QString& sql : steps[static_cast<size_t>(v)]) {
            if (!exec(sql)) {
                return false;
            }
        }
        if (v + 1 == 2 && !recomputeFlags()) {
            return false;
        }
    }
    return exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
}

// Older files did not keep the flags: work them out, board by board, oldest first.
bool MeterHistory::recomputeFlags() {
    std::vector<qint64> ids;
    const auto all = select(QString(), {}, &ids);
    if (!all) {
        return false;
    }
    std::map<QString, MeterReading> previous;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral(
        "UPDATE terminals SET went_backwards = ? WHERE reading_id = ? AND number = ?"));
    for (size_t i = 0; i < all->size(); ++i) {
        MeterReading r = (*all)[i];
        const auto it = previous.find(r.serialNumber);
        const auto before =
            it == previous.end() ? std::nullopt : std::optional<MeterReading>(it->second);
        markWentBackwards(r, compareWithPrevious(r, before, std::nullopt));
        for (const auto& t : r.terminals) {
            q.addBindValue(text(t.wentBackwards.join(QLatin1Char(' '))));
            q.addBindValue(ids[i]);
            q.addBindValue(t.number);
            if (!q.exec()) {
                return fail(q.lastError(), QStringLiteral("Cannot upgrade %1").arg(path_));
            }
        }
        previous[r.serialNumber] = r;
    }
    return true;
}

std::optional<std::vector<MeterReading>> MeterHistory::select(const QString& where,
                                                              const QVariantList& binds,
                                                              std::vector<qint64>* ids,
                                                              std::vector<QString>* uids) {
    if (readOnly_ && fileVersion_ == 0) {
        return std::vector<MeterReading>();  // a new, empty file
    }
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    // A file read as it is may be older than the flags or the keys.
    const bool flags = isCentral() || !readOnly_ || fileVersion_ >= 2;
    q.prepare(QStringLiteral("SELECT r.id, r.taken_ms, r.port, r.address, r.serial_number, "
                             "r.firmware_version, r.printer_firmware, r.printer_status, t.number, "
                             "%3, %1, %4 FROM readings r LEFT JOIN terminals t ON "
                             "t.reading_id = r.id %2 ORDER BY r.taken_ms, r.id, t.number")
                  .arg(columnList(QStringLiteral("t.")),
                       where.isEmpty() ? QString() : QStringLiteral("WHERE ") + where,
                       flags ? QStringLiteral("t.went_backwards") : QStringLiteral("''"),
                       uids ? QStringLiteral("r.uid") : QStringLiteral("''")));
    for (const auto& b : binds) {
        q.addBindValue(b);
    }
    if (!q.exec()) {
        fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        return std::nullopt;
    }
    std::vector<MeterReading> out;
    qint64 lastId = -1;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (id != lastId) {
            lastId = id;
            if (ids) {
                ids->push_back(id);
            }
            if (uids) {
                uids->push_back(
                    q.value(10 + static_cast<int>(terminalColumns().size())).toString());
            }
            MeterReading r;
            r.time = QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong());
            r.port = q.value(2).toString();
            if (!q.value(3).isNull()) {
                r.address = q.value(3).toInt();
            }
            r.serialNumber = q.value(4).toString();
            r.firmwareVersion = q.value(5).toString();
            r.printerFirmware = q.value(6).toString();
            r.printerStatus = q.value(7).toString();
            out.push_back(r);
        }
        if (q.value(8).isNull()) {
            continue;  // a reading without terminals
        }
        MeterReading::Terminal t;
        t.number = q.value(8).toInt();
        t.wentBackwards = q.value(9).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        int column = 10;
        for (const auto& c : terminalColumns()) {
            t.*c.field = q.value(column++).toString();
        }
        out.back().terminals.push_back(t);
    }
    if (q.lastError().isValid()) {
        fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        return std::nullopt;
    }
    return out;
}

template <typename Op>
bool MeterHistory::run(Op op) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureOpen()) {
            return false;
        }
        damaged_ = false;
        if (op()) {
            return true;
        }
        if (isCentral()) {
            // A server restarted or out of reach: the next call connects anew.
            close();
            return false;
        }
        if (!damaged_ || !handleDamage()) {
            return false;
        }
    }
    return false;
}

void MeterHistory::rollback() {
    const QString why = problem_;
    const bool damaged = damaged_;
    exec(QStringLiteral("ROLLBACK"));
    problem_ = why;
    damaged_ = damaged;
}

std::optional<std::optional<QDateTime>> MeterHistory::clearBetween(qint64 afterMs,
                                                                   const MeterReading& r) {
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral(
            "SELECT max(taken_ms) FROM memory_clears WHERE taken_ms > ? AND taken_ms <= ? "
            "AND (serial_number = ? OR (serial_number = '' AND port = ? AND address %1 ?))")
            .arg(isCentral() ? QStringLiteral("IS NOT DISTINCT FROM") : QStringLiteral("IS")));
    q.addBindValue(afterMs);
    q.addBindValue(r.time.toMSecsSinceEpoch());
    q.addBindValue(text(r.serialNumber));
    q.addBindValue(text(r.port));
    q.addBindValue(addressValue(r.address));
    if (!q.exec() || !q.next()) {
        fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        return std::nullopt;
    }
    if (q.value(0).isNull()) {
        return std::optional<QDateTime>();
    }
    return std::optional<QDateTime>(QDateTime::fromMSecsSinceEpoch(q.value(0).toLongLong()));
}

bool MeterHistory::insertReading(const MeterReading& r, const QString& uid, bool pushed) {
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("INSERT INTO readings (uid, pushed, taken_ms, taken_at, port, address, "
                       "serial_number, firmware_version, printer_firmware, printer_status) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)%1")
            .arg(isCentral() ? QStringLiteral(" RETURNING id") : QString()));
    q.addBindValue(uid);
    q.addBindValue(pushed ? 1 : 0);
    q.addBindValue(r.time.toMSecsSinceEpoch());
    q.addBindValue(r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODate));
    q.addBindValue(text(r.port));
    q.addBindValue(addressValue(r.address));
    q.addBindValue(text(r.serialNumber));
    q.addBindValue(text(r.firmwareVersion));
    q.addBindValue(text(r.printerFirmware));
    q.addBindValue(text(r.printerStatus));
    if (!q.exec() || (isCentral() && !q.next())) {
        return fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
    }
    const qint64 id = isCentral() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
    QSqlQuery t(db_);
    t.prepare(QStringLiteral("INSERT INTO terminals (reading_id, number, went_backwards, %1) "
                             "VALUES (?, ?, ?%2)")
                  .arg(columnList(QString()),
                       QStringLiteral(", ?").repeated(static_cast<int>(terminalColumns().size()))));
    for (const auto& terminal : r.terminals) {
        t.addBindValue(id);
        t.addBindValue(terminal.number);
        t.addBindValue(text(terminal.wentBackwards.join(QLatin1Char(' '))));
        for (const auto& c : terminalColumns()) {
            t.addBindValue(text(terminal.*c.field));
        }
        if (!t.exec()) {
            return fail(t.lastError(), QStringLiteral("Cannot write %1").arg(path_));
        }
    }
    return true;
}

bool MeterHistory::begin(const QString& lockKey) {
    if (!isCentral()) {
        return exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    if (!exec(QStringLiteral("BEGIN"))) {
        return false;
    }
    // Writers of the same board take turns, so each compares with the one before it.
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
    q.addBindValue(lockKey);
    if (!q.exec()) {
        fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
        rollback();
        return false;
    }
    return true;
}

std::optional<StoredReading> MeterHistory::store(const MeterReading& reading) {
    if (!reading.error.isEmpty() || reading.serialNumber.trimmed().isEmpty()) {
        problem_ = QStringLiteral("A reading without a serial number is not kept");
        return std::nullopt;
    }
    const QString uid = newKey();
    auto kept = storeKeyed(reading, uid, isCentral());
    if (!kept || !central_) {
        return kept;
    }
    // The central history knows the other technicians' readings: its comparison wins.
    std::optional<StoredReading> sent;
    push(uid, &sent);
    return sent ? sent : kept;
}

std::optional<StoredReading> MeterHistory::storeKeyed(const MeterReading& reading,
                                                      const QString& uid, bool pushed) {
    std::optional<StoredReading> result;
    const bool ok = run([&] {
        if (!begin(reading.serialNumber)) {
            return false;
        }
        const bool done = [&] {
            // The latest earlier reading of the same board, whoever wrote it.
            const auto before = select(
                QStringLiteral("r.id = (SELECT id FROM readings WHERE serial_number = ? "
                               "AND taken_ms <= ? AND uid <> ? ORDER BY taken_ms DESC, id DESC "
                               "LIMIT 1)"),
                {reading.serialNumber, reading.time.toMSecsSinceEpoch(), uid});
            if (!before) {
                return false;
            }
            std::optional<MeterReading> previous;
            std::optional<QDateTime> cleared;
            if (!before->empty()) {
                previous = before->front();
                const auto clear =
                    clearBetween(previous->time.toMSecsSinceEpoch() - kClearTakesMs, reading);
                if (!clear) {
                    return false;
                }
                cleared = *clear;
            }
            StoredReading s{reading, compareWithPrevious(reading, previous, cleared)};
            markWentBackwards(s.reading, s.changes);
            // Sent before, its answer lost on the way: the copy there stays the only one.
            QSqlQuery known(db_);
            known.prepare(QStringLiteral("SELECT count(*) FROM readings WHERE uid = ?"));
            known.addBindValue(uid);
            if (!known.exec() || !known.next()) {
                return fail(known.lastError(), QStringLiteral("Cannot read %1").arg(path_));
            }
            const bool fresh = known.value(0).toInt() == 0;
            known.finish();
            if ((fresh && !insertReading(s.reading, uid, pushed)) ||
                !exec(QStringLiteral("COMMIT"))) {
                return false;
            }
            result = std::move(s);
            return true;
        }();
        if (!done) {
            rollback();
        }
        return done;
    });
    return ok ? result : std::nullopt;
}

bool MeterHistory::recordMemoryClear(const QDateTime& time, const QString& port,
                                     std::optional<int> address, const QString& serial) {
    if (!recordClearKeyed(time, port, address, serial, newKey(), isCentral())) {
        return false;
    }
    if (central_) {
        push(QString(), nullptr);
    }
    return true;
}

bool MeterHistory::recordClearKeyed(const QDateTime& time, const QString& port,
                                    std::optional<int> address, const QString& serial,
                                    const QString& uid, bool pushed) {
    return run([&] {
        QSqlQuery q(db_);
        q.prepare(
            QStringLiteral("INSERT INTO memory_clears (uid, pushed, taken_ms, taken_at, port, "
                           "address, serial_number) VALUES (?, ?, ?, ?, ?, ?, ?)%1")
                .arg(isCentral() ? QStringLiteral(" ON CONFLICT (uid) DO NOTHING") : QString()));
        q.addBindValue(uid);
        q.addBindValue(pushed ? 1 : 0);
        q.addBindValue(time.toMSecsSinceEpoch());
        q.addBindValue(time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate));
        q.addBindValue(text(port));
        q.addBindValue(addressValue(address));
        q.addBindValue(text(serial));
        return q.exec() || fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
    });
}

std::optional<std::vector<MeterReading>> MeterHistory::readings(const Filter& filter) {
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
    if (central_) {
        auto there = central_->keyedReadings(where.join(QStringLiteral(" AND ")), binds);
        if (there) {
            centralProblem_.clear();
            std::set<QString> keys;
            std::vector<MeterReading> out;
            for (auto& k : *there) {
                keys.insert(k.uid);
                out.push_back(std::move(k.reading));
            }
            // What waits here belongs to the history too.
            if (!readOnly_ || QFileInfo::exists(path_)) {
                QStringList waiting = where;
                waiting << QStringLiteral("r.pushed = 0");
                const auto here = ensureOpen() && (readOnly_ ? fileVersion_ >= 3 : true)
                                      ? keyedReadings(waiting.join(QStringLiteral(" AND ")), binds)
                                      : std::optional<std::vector<Keyed>>(std::vector<Keyed>());
                if (!here) {
                    return std::nullopt;
                }
                for (const auto& k : *here) {
                    if (!keys.count(k.uid)) {
                        out.push_back(k.reading);
                    }
                }
                std::stable_sort(out.begin(), out.end(),
                                 [](const auto& a, const auto& b) { return a.time < b.time; });
            }
            return out;
        }
        centralFailed(central_->problem());
    }
    std::optional<std::vector<MeterReading>> out;
    run([&] {
        out = select(where.join(QStringLiteral(" AND ")), binds);
        return out.has_value();
    });
    if (out && readOnly_ && fileVersion_ < 2) {
        // An old file read as it is: its flags are worked out here, nothing is written.
        std::map<QString, MeterReading> previous;
        for (MeterReading& r : *out) {
            const auto it = previous.find(r.serialNumber);
            markWentBackwards(r, compareWithPrevious(r,
                                                     it == previous.end()
                                                         ? std::nullopt
                                                         : std::optional<MeterReading>(it->second),
                                                     std::nullopt));
            previous[r.serialNumber] = r;
        }
    }
    return out;
}

std::optional<std::vector<MeterHistory::Keyed>> MeterHistory::keyedReadings(
    const QString& where, const QVariantList& binds) {
    std::optional<std::vector<Keyed>> out;
    run([&] {
        std::vector<QString> uids;
        const auto found = select(where, binds, nullptr, &uids);
        if (!found) {
            return false;
        }
        out.emplace();
        for (size_t i = 0; i < found->size(); ++i) {
            out->push_back({(*found)[i], uids[i]});
        }
        return true;
    });
    return out;
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

std::optional<int> MeterHistory::pushPending() {
    if (!central_) {
        centralProblem_ = QStringLiteral("No central meter history is set");
        return std::nullopt;
    }
    return push(QString(), nullptr);
}

std::optional<int> MeterHistory::push(const QString& wantedUid,
                                      std::optional<StoredReading>* wanted) {
    // The clears first: a drop they excuse is then not flagged there.
    struct Clear {
        QString uid, port, serial;
        QDateTime time;
        std::optional<int> address;
    };
    std::vector<Clear> clears;
    const bool listed = run([&] {
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT uid, taken_ms, port, address, serial_number FROM "
                                   "memory_clears WHERE pushed = 0 ORDER BY taken_ms, id"))) {
            return fail(q.lastError(), QStringLiteral("Cannot read %1").arg(path_));
        }
        while (q.next()) {
            clears.push_back(
                {q.value(0).toString(), q.value(2).toString(), q.value(4).toString(),
                 QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong()),
                 q.value(3).isNull() ? std::nullopt : std::optional<int>(q.value(3).toInt())});
        }
        return true;
    });
    const auto waiting = listed ? keyedReadings(QStringLiteral("r.pushed = 0"), {}) : std::nullopt;
    if (!waiting) {
        return std::nullopt;
    }
    auto mark = [this](const char* table, const QString& uid) {
        return run([&] {
            QSqlQuery q(db_);
            q.prepare(
                QStringLiteral("UPDATE %1 SET pushed = 1 WHERE uid = ?").arg(QLatin1String(table)));
            q.addBindValue(uid);
            return q.exec() || fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
        });
    };
    int sent = 0;
    for (const Clear& c : clears) {
        if (!central_->recordClearKeyed(c.time, c.port, c.address, c.serial, c.uid, true)) {
            centralFailed(central_->problem());
            return std::nullopt;
        }
        mark("memory_clears", c.uid);
    }
    for (const Keyed& k : *waiting) {
        MeterReading r = k.reading;
        for (auto& t : r.terminals) {
            t.wentBackwards.clear();  // compared there anew
        }
        auto there = central_->storeKeyed(r, k.uid, true);
        if (!there) {
            centralFailed(central_->problem());
            return std::nullopt;
        }
        // Unmarked after all (the file is busy): sent again later, kept there once.
        mark("readings", k.uid);
        if (wanted && k.uid == wantedUid) {
            *wanted = std::move(there);
        }
        ++sent;
    }
    centralProblem_.clear();
    return sent;
}

std::optional<int> MeterHistory::pendingCount() {
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

std::optional<std::vector<MeterHistory::Board>> MeterHistory::boards() {
    auto list = [](MeterHistory& h, const QString& where) {
        std::optional<std::vector<Board>> out;
        h.run([&] {
            if (h.readOnly_ && h.fileVersion_ < (where.isEmpty() ? 1 : 3)) {
                out.emplace();
                return true;
            }
            QSqlQuery q(h.db_);
            q.setForwardOnly(true);
            if (!q.exec(QStringLiteral("SELECT serial_number, max(taken_ms), count(*) FROM "
                                       "readings %1 GROUP BY serial_number")
                            .arg(where))) {
                return h.fail(q.lastError(), QStringLiteral("Cannot read %1").arg(h.path_));
            }
            out.emplace();
            while (q.next()) {
                out->push_back({q.value(0).toString(),
                                QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong()),
                                q.value(2).toInt()});
            }
            return true;
        });
        return out;
    };
    std::optional<std::vector<Board>> all;
    const bool localFile = !readOnly_ || QFileInfo::exists(path_);
    if (central_) {
        all = list(*central_, QString());
        if (all && localFile) {
            const auto here = list(*this, QStringLiteral("WHERE pushed = 0"));
            if (!here) {
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
        } else if (!all) {
            centralFailed(central_->problem());
        }
    }
    if (!all) {
        all = localFile ? list(*this, QString()) : std::vector<Board>();
    }
    if (all) {
        std::sort(all->begin(), all->end(),
                  [](const Board& a, const Board& b) { return a.lastReading > b.lastReading; });
    }
    return all;
}

std::optional<std::vector<QDateTime>> MeterHistory::memoryClears(const QString& serial) {
    auto list = [&](MeterHistory& h) {
        std::optional<std::vector<QDateTime>> out;
        h.run([&] {
            out.emplace();
            if (h.readOnly_ && h.fileVersion_ < 2) {
                return true;
            }
            QSqlQuery q(h.db_);
            q.setForwardOnly(true);
            q.prepare(QStringLiteral(
                "SELECT taken_ms FROM memory_clears WHERE serial_number = ? ORDER BY taken_ms"));
            q.addBindValue(serial);
            if (!q.exec()) {
                out.reset();
                return h.fail(q.lastError(), QStringLiteral("Cannot read %1").arg(h.path_));
            }
            while (q.next()) {
                out->push_back(QDateTime::fromMSecsSinceEpoch(q.value(0).toLongLong()));
            }
            return true;
        });
        return out;
    };
    if (central_) {
        if (auto there = list(*central_)) {
            return there;
        }
        centralFailed(central_->problem());
    }
    if (readOnly_ && !QFileInfo::exists(path_)) {
        return std::vector<QDateTime>();
    }
    return list(*this);
}

}  // namespace tarvo
