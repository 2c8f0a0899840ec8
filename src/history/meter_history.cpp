#include "history/meter_history.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QVariant>
#include <atomic>
#include <map>

namespace tarvo {

namespace {

constexpr int kBusyTimeoutMs = 10000;
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
    return std::exchange(notices_, {});
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

bool MeterHistory::openFile() {
    damaged_ = false;
    const QFileInfo info(path_);
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
    const std::vector<QStringList> steps = {version1(), version2()};
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
                                                              std::vector<qint64>* ids) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT r.id, r.taken_ms, r.port, r.address, r.serial_number, "
                             "r.firmware_version, r.printer_firmware, r.printer_status, t.number, "
                             "t.went_backwards, %1 FROM readings r LEFT JOIN terminals t ON "
                             "t.reading_id = r.id %2 ORDER BY r.taken_ms, r.id, t.number")
                  .arg(columnList(QStringLiteral("t.")),
                       where.isEmpty() ? QString() : QStringLiteral("WHERE ") + where));
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
    q.prepare(QStringLiteral(
        "SELECT max(taken_ms) FROM memory_clears WHERE taken_ms > ? AND taken_ms <= ? AND "
        "(serial_number = ? OR (serial_number = '' AND port = ? AND address IS ?))"));
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

bool MeterHistory::insertReading(const MeterReading& r) {
    QSqlQuery q(db_);
    q.prepare(QStringLiteral(
        "INSERT INTO readings (taken_ms, taken_at, port, address, serial_number, "
        "firmware_version, printer_firmware, printer_status) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(r.time.toMSecsSinceEpoch());
    q.addBindValue(r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODate));
    q.addBindValue(text(r.port));
    q.addBindValue(addressValue(r.address));
    q.addBindValue(text(r.serialNumber));
    q.addBindValue(text(r.firmwareVersion));
    q.addBindValue(text(r.printerFirmware));
    q.addBindValue(text(r.printerStatus));
    if (!q.exec()) {
        return fail(q.lastError(), QStringLiteral("Cannot write %1").arg(path_));
    }
    const qint64 id = q.lastInsertId().toLongLong();
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

std::optional<StoredReading> MeterHistory::store(const MeterReading& reading) {
    if (!reading.error.isEmpty() || reading.serialNumber.trimmed().isEmpty()) {
        problem_ = QStringLiteral("A reading without a serial number is not kept");
        return std::nullopt;
    }
    std::optional<StoredReading> result;
    const bool ok = run([&] {
        if (!exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            return false;
        }
        const bool done = [&] {
            // The latest earlier reading of the same board, whoever wrote it.
            const auto before =
                select(QStringLiteral("r.id = (SELECT id FROM readings WHERE serial_number = ? "
                                      "AND taken_ms <= ? ORDER BY taken_ms DESC, id DESC LIMIT 1)"),
                       {reading.serialNumber, reading.time.toMSecsSinceEpoch()});
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
            if (!insertReading(s.reading) || !exec(QStringLiteral("COMMIT"))) {
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
    return run([&] {
        QSqlQuery q(db_);
        q.prepare(
            QStringLiteral("INSERT INTO memory_clears (taken_ms, taken_at, port, address, "
                           "serial_number) VALUES (?, ?, ?, ?, ?)"));
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
    std::optional<std::vector<MeterReading>> out;
    run([&] {
        out = select(where.join(QStringLiteral(" AND ")), binds);
        return out.has_value();
    });
    return out;
}

namespace {

std::optional<QDateTime> parseSince(const QString& text) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid() && text.size() == 10) {
        return day.startOfDay();
    }
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (time.isValid()) {
        return time;
    }
    return std::nullopt;
}

}  // namespace

int runHistoryCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    const QString usage = QStringLiteral(
        "usage: tarvo-audit history [--serial S] [--since DATE] [--format json|csv|text] "
        "[--database PATH]\n");
    MeterHistory::Filter filter;
    RecordFormat format = RecordFormat::Text;
    QString path;
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        if (!name.startsWith(QLatin1String("--"))) {
            err << "tarvo-audit history: unexpected argument: " << name << '\n' << usage;
            return 2;
        }
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            err << "tarvo-audit history: " << name << " needs a value\n" << usage;
            return 2;
        }
        if (name == QLatin1String("--serial")) {
            filter.serial = value;
        } else if (name == QLatin1String("--since")) {
            filter.since = parseSince(value);
            if (!filter.since) {
                err << "tarvo-audit history: not a date: " << value << '\n' << usage;
                return 2;
            }
        } else if (name == QLatin1String("--format")) {
            const auto f = recordFormat(value);
            if (!f) {
                err << "tarvo-audit history: unknown format: " << value << '\n' << usage;
                return 2;
            }
            format = *f;
        } else if (name == QLatin1String("--database")) {
            path = value;
        } else {
            err << "tarvo-audit history: unknown option: " << name << '\n' << usage;
            return 2;
        }
    }
    MeterHistory history(path, MeterHistory::Damaged::Refuse);
    std::vector<MeterReading> readings;
    if (!QFileInfo::exists(history.path())) {
        // Nothing read yet is an empty history, not a failure.
        err << "tarvo-audit history: no readings kept yet in " << history.path() << '\n';
    } else {
        const auto found = history.readings(filter);
        if (!found) {
            err << "tarvo-audit history: " << history.problem() << '\n';
            return 1;
        }
        readings = *found;
    }
    out << formatReadings(readings, format, true);
    out.flush();
    return 0;
}

}  // namespace tarvo
