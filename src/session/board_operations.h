#pragma once

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "core/meter_reading.h"
#include "core/meter_report.h"
#include "core/pulse_settings.h"
#include "session/link_options.h"

namespace tarvo {

class BoardSession;

// The board operations: plain values in, results out, no widget. Each is a coroutine that
// runs inside the session's one operation (BoardSession::begin), which its caller holds until
// the result is in; the arguments are copied, so nothing the caller owns is read after it.
namespace board {

// --- Connecting ---
struct ConnectResult {
    bool connected = false;
    // Why not, for the response box: the port's error, no USB board, or the modem's word.
    QString failure;
    // The failure came from the modem; its own words are already in the received text.
    bool modemFailed = false;
};
// Opens the interface and, for the Tarvo Board System target, makes sure a board answers.
QCoro::Task<ConnectResult> connect(BoardSession& s);
QCoro::Task<> disconnect(BoardSession& s);

// --- The meter report ---
enum class ReportEnd {
    // Waits the full time after the first 1300 characters: the board may still print.
    FullWait,
    // Ends once every field of the layout is in and the line has been quiet for a second.
    WholeAndQuiet,
};
struct MeterRead {
    std::optional<MeterReport> report;
    // "ERROR! Problems getting data from Tarvo Board", the transport's refusal, or empty when
    // the operation was stopped before an answer.
    QString error;
    bool stopped = false;
    int received = 0;  // characters received when the read ended
};
// Sends the enquiry and the meter request and reads the report. `before` runs once the
// request went out to a connected board, before the waits (the window empties its displays).
QCoro::Task<MeterRead> readMeterReport(BoardSession& s, bool kit,
                                       ReportEnd end = ReportEnd::FullWait,
                                       std::function<void()> before = {});
// A record that names where a reading is taken (time, port, multi-drop address), without
// values; with the values of `report` when one is given.
MeterReading readingAt(const LinkOptions& options, const QDateTime& time,
                       const std::optional<MeterReport>& report = std::nullopt);
// True when every field of the layout was found in the report.
bool reportComplete(const MeterReport& report, bool kit);

// --- Texts the board prints ---
// Each clears the received text and asks for the board's answer; false when refused.
QCoro::Task<bool> viewLastCashout(BoardSession& s);
QCoro::Task<bool> viewLog(BoardSession& s);
QCoro::Task<bool> sendKey(BoardSession& s);

// --- Remote actions ---
// Both halves of the memory clear; true only when both went out.
QCoro::Task<bool> clearMemory(BoardSession& s);
QCoro::Task<bool> forceCashout(BoardSession& s, int index);
QCoro::Task<bool> coinIn(BoardSession& s, int index);
QCoro::Task<bool> coinInMultiplier(BoardSession& s, char input, int index, int value);
// Calibration's coins, cash-outs and commits for `targets`; false when stopped or refused.
QCoro::Task<bool> calibrationCoins(BoardSession& s, std::vector<int> targets);

// --- Terminal parameters ---
QCoro::Task<bool> writeParameters(BoardSession& s, int index, int codes, int flags);
QCoro::Task<bool> writeParametersDip(BoardSession& s, int index);

// --- Location, law and clock ---
// Why a text cannot go to the board (too long for its prefix or frame), or nothing.
struct TextRefusal {
    QString text;
    QString title;
};
std::optional<TextRefusal> locationRefusal(const BoardSession& s, const QStringList& lines);
std::optional<TextRefusal> lawRefusal(const BoardSession& s, const QStringList& lines);
QCoro::Task<bool> sendLocation(BoardSession& s, QStringList lines);
QCoro::Task<bool> sendLaw(BoardSession& s, QStringList lines);
QCoro::Task<bool> sendTimeAndDate(BoardSession& s, QDateTime now);

// --- Terminal mode ---
QCoro::Task<bool> terminalMode(BoardSession& s, bool enter);

// --- Pulse widths ---
// The six games from the board; nothing when no whole reply came (or stopped).
QCoro::Task<std::optional<std::array<PulseGameRead, kPulseGames>>> readPulses(BoardSession& s);
QCoro::Task<bool> writePulses(BoardSession& s, std::vector<QByteArray> items);

}  // namespace board
}  // namespace tarvo
