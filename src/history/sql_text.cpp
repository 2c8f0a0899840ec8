#include "history/sql_text.h"

namespace tarvo::sql {

namespace {

// Qt binds a null string as NULL; the text columns hold "" instead.
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant addressValue(std::optional<int> address) {
    return address ? QVariant(*address) : QVariant(QMetaType(QMetaType::Int));
}

QString isoText(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

}  // namespace

QString terminalColumnTypes() {
    QStringList columns;
    for (const auto& c : kTerminalFields) {
        columns << QStringLiteral("%1 TEXT NOT NULL").arg(QLatin1String(c.column));
    }
    return columns.join(QStringLiteral(", "));
}

QString selectReadings(const QString& where, const QString& uid) {
    QStringList columns;
    for (const auto& c : kTerminalFields) {
        columns << QStringLiteral("t.") + QLatin1String(c.column);
    }
    return QStringLiteral(
               "SELECT r.id, r.taken_ms, r.port, r.address, r.serial_number, "
               "r.firmware_version, r.printer_firmware, r.printer_status, %1, "
               "t.number, %2 FROM readings r LEFT JOIN terminals t ON "
               "t.reading_id = r.id %3 ORDER BY r.taken_ms, r.id, t.number")
        .arg(uid, columns.join(QStringLiteral(", ")),
             where.isEmpty() ? QString() : QStringLiteral("WHERE ") + where);
}

QString newest(const QString& where, int count) {
    if (count <= 0) {
        return where;
    }
    return QStringLiteral(
               "r.id IN (SELECT r.id FROM readings r %1 ORDER BY r.taken_ms DESC, "
               "r.id DESC LIMIT %2)")
        .arg(where.isEmpty() ? QString() : QStringLiteral("WHERE ") + where)
        .arg(count);
}

void addRow(std::vector<KeyedReading>& out, const std::vector<QVariant>& row, qint64& lastId) {
    const qint64 id = row[0].toLongLong();
    if (out.empty() || id != lastId) {
        lastId = id;
        MeterReading r;
        r.time = QDateTime::fromMSecsSinceEpoch(row[1].toLongLong());
        r.port = row[2].toString();
        if (!row[3].isNull()) {
            r.address = row[3].toInt();
        }
        r.serialNumber = row[4].toString();
        r.firmwareVersion = row[5].toString();
        r.printerFirmware = row[6].toString();
        r.printerStatus = row[7].toString();
        out.push_back({std::move(r), row[8].toString()});
    }
    if (row[9].isNull()) {
        return;  // a reading without terminals
    }
    MeterReading::Terminal t;
    t.number = row[9].toInt();
    size_t column = 10;
    for (const auto& c : kTerminalFields) {
        t.*c.field = row[column++].toString();
    }
    out.back().reading.terminals.push_back(std::move(t));
}

QVariantList readingValues(const MeterReading& r) {
    return {r.time.toMSecsSinceEpoch(), isoText(r.time),      text(r.port),
            addressValue(r.address),    text(r.serialNumber), text(r.firmwareVersion),
            text(r.printerFirmware),    text(r.printerStatus)};
}

QString insertTerminal(const QString& mark) {
    QStringList columns, marks;
    const int count = 3 + static_cast<int>(kTerminalFields.size());
    for (int i = 1; i <= count; ++i) {
        marks << (mark == QLatin1String("$") ? QStringLiteral("$%1").arg(i) : mark);
    }
    for (const auto& c : kTerminalFields) {
        columns << QLatin1String(c.column);
    }
    return QStringLiteral(
               "INSERT INTO terminals (reading_id, number, went_backwards, %1) "
               "VALUES (%2)")
        .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

QVariantList terminalValues(const MeterReading::Terminal& t) {
    QVariantList values{t.number, text(t.wentBackwards.join(QLatin1Char(' ')))};
    for (const auto& c : kTerminalFields) {
        values << text(t.*c.field);
    }
    return values;
}

QString selectClears(const QString& uid, const QString& where) {
    return QStringLiteral(
               "SELECT %1, taken_ms, port, address, serial_number FROM "
               "memory_clears %2 ORDER BY taken_ms, id")
        .arg(uid, where);
}

MemoryClear clearOf(const std::vector<QVariant>& row) {
    return {row[0].toString(), QDateTime::fromMSecsSinceEpoch(row[1].toLongLong()),
            row[2].toString(), row[3].isNull() ? std::nullopt : std::optional<int>(row[3].toInt()),
            row[4].toString()};
}

QVariantList clearValues(const MemoryClear& c) {
    return {c.time.toMSecsSinceEpoch(), isoText(c.time), text(c.port), addressValue(c.address),
            text(c.serial)};
}

StoredReading compared(const MeterReading& reading, const std::vector<KeyedReading>& before,
                       const std::vector<MemoryClear>& clears, const QString& uid) {
    std::optional<MeterReading> previous;
    std::optional<QDateTime> cleared;
    if (!before.empty()) {
        previous = before.front().reading;
        cleared = clearBetween(*previous, reading, clears);
    }
    StoredReading s{reading, compareWithPrevious(reading, previous, cleared), uid};
    markWentBackwards(s.reading, s.changes);
    return s;
}

namespace {

// Version 1: the readings and their terminals.
QStringList fileVersion1() {
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
            .arg(terminalColumnTypes()),
    };
}

// Version 2: the meters that went backwards, and the memory clears that excuse them.
QStringList fileVersion2() {
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
QStringList fileVersion3() {
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

// Version 4: why the central history refused a reading, which then waits no more
// (pushed = 2).
QStringList fileVersion4() {
    return {QStringLiteral("ALTER TABLE readings ADD COLUMN refused TEXT NOT NULL DEFAULT ''")};
}

}  // namespace

std::vector<QStringList> fileSchemaSteps() {
    return {fileVersion1(), fileVersion2(), fileVersion3(), fileVersion4()};
}

}  // namespace tarvo::sql
