#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

#include "history/history_store.h"

// The statements and row shapes both stores share: the same tables locally and centrally.
namespace tarvo::sql {

// "status TEXT NOT NULL, pulse_value TEXT NOT NULL, ...": every text field of a terminal.
QString terminalColumnTypes();

// The readings with their terminals, oldest first; `uid` is the expression of the key.
// Rows of kSelectedColumns values, read with addRow().
QString selectReadings(const QString& where, const QString& uid);
inline constexpr int kSelectedColumns = 9 + 1 + 12;
// `where` limited to the newest `count` readings it matches (0: all of them).
QString newest(const QString& where, int count);
// Adds one row of selectReadings() to `out`; `lastId` is the reading of the row before.
void addRow(std::vector<KeyedReading>& out, const std::vector<QVariant>& row, qint64& lastId);

// taken_ms, taken_at, port, address, serial_number, firmware_version, printer_firmware,
// printer_status.
QVariantList readingValues(const MeterReading& r);
// INSERT INTO terminals with reading_id, number, went_backwards and every field; `mark`
// is "?" or "$" for numbered marks.
QString insertTerminal(const QString& mark);
QVariantList terminalValues(const MeterReading::Terminal& t);

// uid, taken_ms, port, address, serial_number, oldest first.
QString selectClears(const QString& uid, const QString& where);
MemoryClear clearOf(const std::vector<QVariant>& row);
// taken_ms, taken_at, port, address, serial_number.
QVariantList clearValues(const MemoryClear& c);

// `reading` compared with the one before it (`before` holds it or nothing).
StoredReading compared(const MeterReading& reading, const std::vector<KeyedReading>& before,
                       const std::vector<MemoryClear>& clears, const QString& uid);

// The local file's schema, one list of statements for each version from 1 on: a file of
// version v takes the lists from index v up.
std::vector<QStringList> fileSchemaSteps();

}  // namespace tarvo::sql
