#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace tarvo {

// Every display value that one meter report yields. A field whose label was not found stays
// empty; the three edit texts are set only when their line was read.
struct MeterReport {
    QString printerFirmware;
    QString printerStatus;
    QString systemMessage;
    QString serialNumber;
    // The serial number as the board holds it, which names the board in the meter history:
    // ends at its line's end; empty when none is set. Nothing when the line was not read.
    std::optional<QString> boardSerial;
    QString firmwareVersion;

    template <typename T>
    using PerTerminal = std::array<T, 6>;
    PerTerminal<QString> pulseInPerPoint, pulseInMultiplier, printMoneyOrPoints, valueIn;
    PerTerminal<QString> coinInMultiA, coinInMultiB, status;
    PerTerminal<QString> received, returned, paidOut, coinInA, coinInB;
    // Edit texts of the pulse-value, multiplier and value-in combo boxes.
    PerTerminal<std::optional<QString>> pulseValueEdit, multiplierEdit, valueInEdit;
};

// One forward scan of the report text. Labels are found only when they start before
// position `limit` (1-based, the received count when the wait ended); `kit` selects the
// one-terminal layout. Never reads past the end of `text`.
MeterReport scanMeterReport(QStringView text, int limit, bool kit);

}  // namespace tarvo
