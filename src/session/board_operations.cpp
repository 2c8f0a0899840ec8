#include "session/board_operations.h"

#include "core/frames.h"
#include "core/meter_report.h"
#include "session/board_session.h"

namespace tarvo::board {

namespace {

constexpr int kReportLength = 1300;    // a full report has at least this many characters
constexpr int kShortestReport = 1200;  // fewer than this is no report at all
constexpr int kReportWaitTicks = 15;
constexpr int kQuietTicks = 2;  // one second of the two coarse timers
constexpr int kProbeTicks = 2;
constexpr int kSettleTicks = 2;
constexpr int kTestCoins = 4;
constexpr int kPulseReplyWaitTicks = 5;  // about two and a half seconds
constexpr int kPulseTailTicks = 1;       // time for the rest of the reply

// Sends `command`'s prefix without a read and the command with one, as the board's printed
// answers need over USB.
bool askFor(BoardSession& s, const frames::Command& command) {
    s.ExpectReply = false;
    if (!s.sendPrefixFor(command)) {
        return false;
    }
    s.ExpectReply = true;
    return s.sendPieces(command);
}

// The prefix, then an empty text and the command with its reply; `quietPrefix` sends the
// prefix without a read.
bool clearAndAsk(BoardSession& s, const frames::Command& command, bool quietPrefix) {
    if (quietPrefix) {
        s.ExpectReply = false;
    }
    if (!s.sendPrefixFor(command)) {
        return false;
    }
    s.ExpectReply = true;
    s.clearText();
    return s.sendPieces(command);
}

bool probe(BoardSession& s) {
    s.clearText();
    s.ExpectReply = true;
    s.SendToTarvoBoard(frames::enquiry().joined());
    if (!s.waitTicks(kProbeTicks)) {
        return false;
    }
    if (!s.text().isEmpty()) {
        return true;
    }
    s.ExpectReply = true;
    s.SendToTarvoBoard(frames::probeWake().joined());
    s.SendToTarvoBoard(frames::enquiry().joined());
    if (!s.waitTicks(kProbeTicks)) {
        return false;
    }
    return !s.text().isEmpty();
}

// Waits, after the first part of a report, until the whole layout is in and the line has
// been quiet for a second, or the full wait is over.
bool waitForWholeReport(BoardSession& s, bool kit) {
    int lastCount = s.RxCount;
    int quietSince = 0;
    s.TickCount = 0;
    while (s.TickCount < kReportWaitTicks) {
        const int16_t ticks = s.TickCount;
        const int16_t received = s.RxCount;
        if (!s.waitUntil([&] { return s.TickCount != ticks || s.RxCount != received; })) {
            return false;
        }
        if (s.RxCount != lastCount) {
            lastCount = s.RxCount;
            quietSince = s.TickCount;
        } else if (s.TickCount - quietSince >= kQuietTicks &&
                   reportComplete(scanMeterReport(s.text(), s.RxCount, kit), kit)) {
            return true;
        }
    }
    return true;
}

std::optional<TextRefusal> longPortion(const BoardSession& s, const frames::Command& portion,
                                       int fixedBytes, const QString& what) {
    if (s.options().target != Target::Brisko || portion.prefixCode <= frames::kLargestPrefixCode) {
        return std::nullopt;
    }
    // A wrapped code would make the Brisko system cut every later command in the wrong place.
    return TextRefusal{QStringLiteral("%1 hold %2 characters, but a Brisko system takes at most "
                                      "%3. Shorten them and send again; nothing was sent.")
                           .arg(what)
                           .arg(portion.prefixCode - fixedBytes)
                           .arg(frames::kLargestPrefixCode - fixedBytes),
                       QStringLiteral("Text too long")};
}

std::optional<TextRefusal> longLine(const BoardSession& s, const frames::Command& portion) {
    if (!s.options().multiDrop()) {
        return std::nullopt;
    }
    for (const QByteArray& piece : portion.pieces) {
        // A piece the transport drops would leave the board a line short, and it would take
        // the next command for the missing line.
        if (piece.size() > frames::kLargestMultiDropFrame) {
            return TextRefusal{
                QStringLiteral("A line holds %1 characters, but on a multi-drop line it may hold "
                               "at most %2. Shorten it and send again; nothing was sent.")
                    .arg(piece.size() - 1)
                    .arg(frames::kLargestMultiDropFrame - 1),
                QStringLiteral("Text too long")};
        }
    }
    return std::nullopt;
}

void prepareText(BoardSession& s) {
    s.RxCount = 0;
    s.ExpectReply = false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Connecting

ConnectResult connect(BoardSession& s) {
    ConnectResult result;
    s.clearText();
    const bool opened = s.OpenTarvoBoard() == 1;
    if (s.shuttingDown()) {
        return result;
    }
    // An interface that did not open, or a board that answers neither probe, is no connection.
    const bool answered = opened && (s.options().target != Target::System || probe(s));
    if (s.shuttingDown()) {
        return result;
    }
    if (!answered) {
        if (opened) {
            s.CloseTarvoBoard();
        }
        s.Connected = 0;
        if (!opened && !s.modemFailure().isEmpty()) {
            result.failure = s.modemFailure();
            result.modemFailed = true;
        } else if (!opened) {
            result.failure = s.lastRefusal();
        }
        return result;
    }
    result.connected = true;
    return result;
}

void disconnect(BoardSession& s) {
    s.CloseTarvoBoard();
}

// ---------------------------------------------------------------------------------------------
// The meter report

MeterRead readMeterReport(BoardSession& s, bool kit, ReportEnd end,
                          const std::function<void()>& before) {
    MeterRead read;
    s.clearText();
    s.RxCount = 0;
    // The enquiry goes without a target prefix; only the meter request is announced.
    s.ExpectReply = true;
    const frames::Command request = frames::meterRequest();
    const bool sent = s.sendPieces(frames::enquiry()) && askFor(s, request);
    if (!sent) {
        read.error = s.lastRefusal();
        read.stopped = s.stopping();
        return read;
    }
    if (before) {
        before();
    }
    s.TickCount = 0;
    if (!s.waitUntil(
            [&] { return s.RxCount >= kReportLength || s.TickCount >= kReportWaitTicks; })) {
        read.stopped = true;
        return read;
    }
    if (s.RxCount < kShortestReport) {
        read.received = s.RxCount;
        read.error = QStringLiteral("ERROR! Problems getting data from Tarvo Board");
        return read;
    }
    const bool waited = end == ReportEnd::WholeAndQuiet ? waitForWholeReport(s, kit)
                                                        : s.waitTicks(kReportWaitTicks);
    if (!waited) {
        read.stopped = true;
        return read;
    }
    read.received = s.RxCount;
    read.report = scanMeterReport(s.text(), s.RxCount, kit);
    return read;
}

MeterReading readingAt(const LinkOptions& options, const QDateTime& time,
                       const std::optional<MeterReport>& report) {
    MeterReading reading;
    if (report) {
        reading = readingFromReport(*report, options.target == Target::Kit);
    }
    reading.time = time;
    reading.port = options.interfaceName();
    if (options.multiDrop()) {
        bool ok = false;
        const int address = options.multiDropAddress.trimmed().toInt(&ok);
        if (ok) {
            reading.address = address;
        }
    }
    return reading;
}

bool reportComplete(const MeterReport& r, bool kit) {
    for (const QString* field :
         {&r.printerFirmware, &r.printerStatus, &r.serialNumber, &r.firmwareVersion}) {
        if (field->isEmpty()) {
            return false;
        }
    }
    const int terminals = kit ? 1 : 6;
    for (int i = 0; i < terminals; ++i) {
        const auto u = static_cast<size_t>(i);
        for (const QString* field :
             {&r.status[u], &r.received[u], &r.returned[u], &r.paidOut[u], &r.coinInA[u],
              &r.coinInB[u], &r.pulseInPerPoint[u], &r.pulseInMultiplier[u], &r.valueIn[u]}) {
            if (field->isEmpty()) {
                return false;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Texts the board prints

bool viewLastCashout(BoardSession& s) {
    s.clearText();
    // Asks for the reply itself rather than rely on what the previous command left: over USB
    // it is read only while ExpectReply is set.
    return askFor(s, frames::lastCashout()) && askFor(s, frames::cashCommit());
}

bool viewLog(BoardSession& s) {
    return clearAndAsk(s, frames::viewLog(), true);
}

bool sendKey(BoardSession& s) {
    // The prefix is read over USB as the command before left it.
    return clearAndAsk(s, frames::keyCommand(), false);
}

// ---------------------------------------------------------------------------------------------
// Remote actions

bool clearMemory(BoardSession& s) {
    const frames::Command first = frames::clearMemoryFirst();
    const frames::Command second = frames::clearMemorySecond();
    if (!s.sendPrefixFor(first)) {
        return false;
    }
    s.ExpectReply = true;
    if (!s.sendPieces(first)) {
        return false;
    }
    return askFor(s, second);
}

bool forceCashout(BoardSession& s, int index) {
    s.clearText();
    return s.sendCommand(frames::forceCashout(index));
}

bool coinIn(BoardSession& s, int index) {
    return s.sendCommand(frames::coinIn(index));
}

bool coinInMultiplier(BoardSession& s, char input, int index, int value) {
    return s.sendCommand(frames::coinInMultiplier(input, index, value));
}

bool calibrationCoins(BoardSession& s, const std::vector<int>& targets) {
    for (int coin = 0; coin < kTestCoins; ++coin) {
        for (int i : targets) {
            if (!coinIn(s, i) || s.stopping()) {
                return false;
            }
        }
    }
    if (!s.waitTicks(kSettleTicks)) {
        return false;
    }
    for (int i : targets) {
        if (!forceCashout(s, i) || s.stopping()) {
            return false;
        }
    }
    for (std::size_t k = 0; k < targets.size(); ++k) {
        s.ExpectReply = false;
        if (!s.sendCommand(frames::cashCommit()) || !s.waitTicks(kSettleTicks)) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Terminal parameters

bool writeParameters(BoardSession& s, int index, int codes, int flags) {
    return s.sendCommand(frames::terminalParameters(index, codes, flags));
}

bool writeParametersDip(BoardSession& s, int index) {
    s.ExpectReply = false;
    return s.sendCommand(frames::terminalParametersDip(index));
}

// ---------------------------------------------------------------------------------------------
// Location, law and clock

std::optional<TextRefusal> locationRefusal(const BoardSession& s, const QStringList& lines) {
    const frames::Command command = frames::locationInfo(lines);
    if (auto r = longPortion(s, command, 7, QStringLiteral("The location lines"))) {
        return r;
    }
    return longLine(s, command);
}

std::optional<TextRefusal> lawRefusal(const BoardSession& s, const QStringList& lines) {
    const frames::Command first = frames::lawInfoFirst(lines);
    const frames::Command second = frames::lawInfoSecond(lines);
    if (auto r = longPortion(s, first, 7, QStringLiteral("Law lines 1 to 4"))) {
        return r;
    }
    if (auto r = longPortion(s, second, 4, QStringLiteral("Law lines 5 to 8"))) {
        return r;
    }
    if (auto r = longLine(s, first)) {
        return r;
    }
    return longLine(s, second);
}

bool sendLocation(BoardSession& s, const QStringList& lines) {
    prepareText(s);
    return s.sendCommand(frames::locationInfo(lines));
}

bool sendLaw(BoardSession& s, const QStringList& lines) {
    prepareText(s);
    return s.sendCommand(frames::lawInfoFirst(lines)) &&
           s.sendCommand(frames::lawInfoSecond(lines));
}

bool sendTimeAndDate(BoardSession& s, const QDateTime& now) {
    prepareText(s);
    // One reading for every field, so a send just before midnight never mixes two days.
    return s.sendCommand(frames::timeAndDate(now));
}

// ---------------------------------------------------------------------------------------------
// Terminal mode

bool terminalMode(BoardSession& s, bool enter) {
    s.clearText();
    // Over USB the board's answers are read only while a reply is expected; whatever command
    // went before, terminal mode is there to show them.
    s.ExpectReply = true;
    return s.sendCommand(enter ? frames::enterTerminalMode() : frames::leaveTerminalMode());
}

// ---------------------------------------------------------------------------------------------
// Pulse widths

std::optional<std::array<PulseGameRead, kPulseGames>> readPulses(BoardSession& s) {
    s.clearText();
    if (!askFor(s, frames::pulseRead())) {
        return std::nullopt;
    }
    s.TickCount = 0;
    if (!s.waitUntil([&] {
            return s.text().size() >= kPulseReplyMinimum || s.TickCount >= kPulseReplyWaitTicks;
        }) ||
        s.text().size() < kPulseReplyMinimum) {
        return std::nullopt;
    }
    if (!s.waitTicks(kPulseTailTicks)) {
        return std::nullopt;
    }
    return readPulseReply(s.text());
}

bool writePulses(BoardSession& s, const std::vector<QByteArray>& items) {
    // No reply is awaited, so the items are not followed by reads over USB.
    s.ExpectReply = false;
    return s.sendCommand(frames::pulseWrite(items));
}

}  // namespace tarvo::board
