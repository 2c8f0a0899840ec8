#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/meter_report.h"

namespace tarvo {

// One board's meters at one moment, as the window's displays show them: the record that the
// command-line audit prints and the meter history keeps.
struct MeterReading {
    QDateTime time;
    QString port;                // "Com1", "USB", a device path
    std::optional<int> address;  // multi-drop address, when read on a multi-drop line
    QString serialNumber, firmwareVersion, printerFirmware, printerStatus;
    QString error;  // empty when the board answered with a whole report

    struct Terminal {
        int number = 1;  // 1..6
        QString status, pulseValue, multiplier, valueIn, printUnit;
        QString received, returned, paidOut, coinInA, coinInB;
        QString coinInMultiplierA, coinInMultiplierB;
        // Names of the meters ("received", "coinInA", ...) lower than at the reading before.
        QStringList wentBackwards;
    };
    std::vector<Terminal> terminals;  // six, or one for a kit
};

// The display values of a scanned report; a kit shows terminal 1 only.
MeterReading readingFromReport(const MeterReport& report, bool kit);

// The five meters of a terminal with their record names, in record order.
struct MeterField {
    const char* name;
    QString MeterReading::Terminal::*field;
};
const std::vector<MeterField>& meterFields();

enum class RecordFormat { Json, Csv, Text };
// Parses "json", "csv" or "text".
std::optional<RecordFormat> recordFormat(const QString& name);

// The readings in the chosen format; CSV has one row per terminal under one header line.
// `withFlags` adds the meters that went backwards (the history's view).
QString formatReadings(const std::vector<MeterReading>& readings, RecordFormat format,
                       bool withFlags);

}  // namespace tarvo
