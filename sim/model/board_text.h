#pragma once

#include <QByteArray>

#include "model/board_state.h"

namespace tarvo::sim {

// The printed texts of the board, every line ended by CR LF.

// Answer to the meter request; at least kMinReportLength characters.
inline constexpr int kMinReportLength = 1400;
QByteArray meterReport(const BoardState& state, bool kit);

// Answer to "Tr": nine lines of six 3-digit items, 26 characters per line.
QByteArray pulseReply(const BoardState& state);

QByteArray eventLog(const BoardState& state);
QByteArray lastCashoutTicket(const BoardState& state);

}  // namespace tarvo::sim
