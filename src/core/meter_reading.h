#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
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

// One text field of a terminal: the one table behind the window's displays, the record
// formats, the history's columns and its change detection.
struct TerminalField {
    const char* name;    // in JSON and CSV records
    const char* column;  // in the history
    QString MeterReading::Terminal::*field;
    MeterReport::PerTerminal<QString> MeterReport::*report;
    // Money meters only: the words of the text form. The history compares meters with the
    // reading before and flags those that went backwards.
    const char* meterLabel;
};

// Every text field of a terminal, in record order.
inline constexpr std::array<TerminalField, 12> kTerminalFields = {{
    {"status", "status", &MeterReading::Terminal::status, &MeterReport::status, nullptr},
    {"pulseValue", "pulse_value", &MeterReading::Terminal::pulseValue,
     &MeterReport::pulseInPerPoint, nullptr},
    {"multiplier", "multiplier", &MeterReading::Terminal::multiplier,
     &MeterReport::pulseInMultiplier, nullptr},
    {"valueIn", "value_in", &MeterReading::Terminal::valueIn, &MeterReport::valueIn, nullptr},
    {"printUnit", "print_unit", &MeterReading::Terminal::printUnit,
     &MeterReport::printMoneyOrPoints, nullptr},
    {"received", "received", &MeterReading::Terminal::received, &MeterReport::received, "received"},
    {"returned", "returned", &MeterReading::Terminal::returned, &MeterReport::returned, "returned"},
    {"paidOut", "paid_out", &MeterReading::Terminal::paidOut, &MeterReport::paidOut, "paid out"},
    {"coinInA", "coin_in_a", &MeterReading::Terminal::coinInA, &MeterReport::coinInA, "coin A"},
    {"coinInB", "coin_in_b", &MeterReading::Terminal::coinInB, &MeterReport::coinInB, "coin B"},
    {"coinInMultiplierA", "coin_in_multiplier_a", &MeterReading::Terminal::coinInMultiplierA,
     &MeterReport::coinInMultiA, nullptr},
    {"coinInMultiplierB", "coin_in_multiplier_b", &MeterReading::Terminal::coinInMultiplierB,
     &MeterReport::coinInMultiB, nullptr},
}};

inline constexpr size_t kMeterCount = [] {
    size_t count = 0;
    for (const auto& f : kTerminalFields) {
        count += f.meterLabel ? 1 : 0;
    }
    return count;
}();

// The money meters of a terminal, in record order.
const std::vector<TerminalField>& meterFields();

enum class RecordFormat { Json, Csv, Text };
// Parses "json", "csv" or "text".
std::optional<RecordFormat> recordFormat(const QString& name);

// The readings in the chosen format; CSV has one row per terminal under one header line.
// `withFlags` adds the meters that went backwards (the history's view).
QString formatReadings(const std::vector<MeterReading>& readings, RecordFormat format,
                       bool withFlags);

}  // namespace tarvo
