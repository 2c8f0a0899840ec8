#pragma once

#include <QLineEdit>
#include <array>
#include <vector>

#include "core/meter_reading.h"
#include "shell/main_window.h"

namespace tarvo {

// The window's column of the terminal-field table: the display of each field of
// kTerminalFields, row for row.
struct TerminalDisplay {
    QString MeterReading::Terminal::*field;
    RetreiveAccountingApp::PerTerminal<QLineEdit> RetreiveAccountingApp::*display;
};

inline constexpr std::array<TerminalDisplay, kTerminalFields.size()> kTerminalDisplays = {{
    {&MeterReading::Terminal::status, &RetreiveAccountingApp::Status},
    {&MeterReading::Terminal::pulseValue, &RetreiveAccountingApp::PulseInPerPoint},
    {&MeterReading::Terminal::multiplier, &RetreiveAccountingApp::PulseInMultiplier},
    {&MeterReading::Terminal::valueIn, &RetreiveAccountingApp::ValueIn},
    {&MeterReading::Terminal::printUnit, &RetreiveAccountingApp::PrintMoneyOrPoints},
    {&MeterReading::Terminal::received, &RetreiveAccountingApp::Received},
    {&MeterReading::Terminal::returned, &RetreiveAccountingApp::Returned},
    {&MeterReading::Terminal::paidOut, &RetreiveAccountingApp::PaidOut},
    {&MeterReading::Terminal::coinInA, &RetreiveAccountingApp::CoinInA},
    {&MeterReading::Terminal::coinInB, &RetreiveAccountingApp::CoinInB},
    {&MeterReading::Terminal::coinInMultiplierA, &RetreiveAccountingApp::TxtCoinInMultiA},
    {&MeterReading::Terminal::coinInMultiplierB, &RetreiveAccountingApp::TxtCoinInMultiB},
}};

static_assert(
    [] {
        for (size_t i = 0; i < kTerminalFields.size(); ++i) {
            if (kTerminalDisplays[i].field != kTerminalFields[i].field) {
                return false;
            }
        }
        return true;
    }(),
    "every terminal field has its display, in the order of kTerminalFields");

// The display of row `field` of kTerminalFields for terminal n (0-based).
inline QLineEdit* terminalDisplay(const RetreiveAccountingApp& w, size_t field, int n) {
    return (w.*kTerminalDisplays[field].display)[static_cast<size_t>(n)];
}

// The meter displays of terminal n, in the order of meterFields().
inline std::vector<QLineEdit*> meterDisplays(const RetreiveAccountingApp& w, int n) {
    std::vector<QLineEdit*> boxes;
    for (size_t i = 0; i < kTerminalFields.size(); ++i) {
        if (kTerminalFields[i].meterLabel) {
            boxes.push_back(terminalDisplay(w, i, n));
        }
    }
    return boxes;
}

}  // namespace tarvo
