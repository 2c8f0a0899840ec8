#include "session/board_operations.h"

#include "core/frames.h"
#include "core/meter_report.h"
#include "session/board_session.h"

// Every co_await stands in a statement of its own, its result in a named variable: g++ 12
// mistranslates a co_await inside a condition, && or ||, or co_return.
namespace tarvo::board {

namespace {

constexpr int kReportLength = 1300;    // a full report has at least this many characters
constexpr int kShortestReport = 1200;  // fewer than this is no report at all
constexpr int kReportWaitTicks = 15;
constexpr int kQuietTicks = 2;  // one second of the two coarse timers
constexpr int kProbeTicks = 2;
constexpr int kFirstWordMs = 1000;
constexpr int kSettleTicks = 2;
constexpr int kTestCoins = 4;
constexpr int kPulseReplyWaitTicks = 5;  // about two and a half seconds
constexpr int kPulseTailTicks = 1;       // time for the rest of the reply

// Sends `command`'s prefix without a read and the command with one, as the board's printed
// answers need over USB.
QCoro::Task<bool> askFor(BoardSession& s, frames::Command command) {
    s.ExpectReply = false;
    const bool prefixed = co_await s.sendPrefixFor(command);
    if (!prefixed) {
        co_return false;
    }
    s.ExpectReply = true;
    auto sent = co_await s.sendPieces(command);
    co_return sent;
}

// The prefix, then an empty text and the command with its reply; `quietPrefix` sends the
// prefix without a read.
QCoro::Task<bool> clearAndAsk(BoardSession& s, frames::Command command, bool quietPrefix) {
    if (quietPrefix) {
        s.ExpectReply = false;
    }
    const bool prefixed = co_await s.sendPrefixFor(command);
    if (!prefixed) {
        co_return false;
    }
    s.ExpectReply = true;
    s.clearText();
    auto sent = co_await s.sendPieces(command);
    co_return sent;
}

QCoro::Task<bool> probe(BoardSession& s) {
    s.clearText();
    s.ExpectReply = true;
    co_await s.SendToTarvoBoard(frames::enquiry().joined());
    const bool waited = co_await s.waitTicks(kProbeTicks);
    if (!waited) {
        co_return false;
    }
    if (!s.text().isEmpty()) {
        co_return true;
    }
    s.ExpectReply = true;
    co_await s.SendToTarvoBoard(frames::probeWake().joined());
    co_await s.SendToTarvoBoard(frames::enquiry().joined());
    const bool waitedAgain = co_await s.waitTicks(kProbeTicks);
    if (!waitedAgain) {
        co_return false;
    }
    co_return !s.text().isEmpty();
}

// Waits, after the first part of a report, until the whole layout is in and the line has
// been quiet for a second, or the full wait is over.
QCoro::Task<bool> waitForWholeReport(BoardSession& s, bool kit) {
    int lastCount = s.RxCount;
    int quietSince = 0;
    s.TickCount = 0;
    while (s.TickCount < kReportWaitTicks) {
        const int16_t ticks = s.TickCount;
        const int16_t received = s.RxCount;
        std::function<bool()> moved = [&s, ticks, received] {
            return s.TickCount != ticks || s.RxCount != received;
        };
        const bool waited = co_await s.waitUntil(std::move(moved));
        if (!waited) {
            co_return false;
        }
        if (s.RxCount != lastCount) {
            lastCount = s.RxCount;
            quietSince = s.TickCount;
        } else if (s.TickCount - quietSince >= kQuietTicks &&
                   reportComplete(scanMeterReport(s.text(), s.RxCount, kit), kit)) {
            co_return true;
        }
    }
    co_return true;
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

QCoro::Task<ConnectResult> connect(BoardSession& s) {
    ConnectResult result;
    s.clearText();
    const int32_t open = co_await s.OpenTarvoBoard();
    const bool opened = open == 1;
    if (s.shuttingDown()) {
        co_return result;
    }
    // An interface that did not open, or a board that answers neither probe, is no connection.
    bool answered = opened;
    if (answered && s.options().target == Target::System) {
        answered = co_await probe(s);
    }
    if (s.shuttingDown()) {
        co_return result;
    }
    if (!answered) {
        if (opened) {
            co_await s.CloseTarvoBoard();
        }
        s.Connected = 0;
        if (!opened && !s.modemFailure().isEmpty()) {
            result.failure = s.modemFailure();
            result.modemFailed = true;
        } else if (!opened) {
            result.failure = s.lastRefusal();
        }
        co_return result;
    }
    result.connected = true;
    co_return result;
}

QCoro::Task<> disconnect(BoardSession& s) {
    co_await s.CloseTarvoBoard();
}

// ---------------------------------------------------------------------------------------------
// The meter report

QCoro::Task<MeterRead> readMeterReport(BoardSession& s, bool kit, ReportEnd end,
                                       std::function<void()> before) {
    MeterRead read;
    s.clearText();
    s.RxCount = 0;
    // The enquiry goes without a target prefix; only the meter request is announced.
    s.ExpectReply = true;
    const frames::Command request = frames::meterRequest();
    bool sent = co_await s.sendPieces(frames::enquiry());
    if (sent) {
        sent = co_await askFor(s, request);
    }
    if (!sent) {
        read.error = s.lastRefusal();
        read.stopped = s.stopping();
        co_return read;
    }
    if (before) {
        before();
    }
    s.TickCount = 0;
    if (end == ReportEnd::WholeAndQuiet) {
        // A board starts its report within a second; an address where nothing has spoken by
        // then has no board, and a bus scan need not give it the long wait.
        std::function<bool()> spoken = [&s] { return s.RxCount > 0; };
        const bool waited = co_await s.waitUntilFor(std::move(spoken), kFirstWordMs);
        if (!waited) {
            read.stopped = true;
            co_return read;
        }
        if (s.RxCount == 0) {
            read.error = QStringLiteral("no answer from the board");
            co_return read;
        }
    }
    std::function<bool()> firstPart = [&s] {
        return s.RxCount >= kReportLength || s.TickCount >= kReportWaitTicks;
    };
    const bool answered = co_await s.waitUntil(std::move(firstPart));
    if (!answered) {
        read.stopped = true;
        co_return read;
    }
    if (s.RxCount < kShortestReport) {
        read.received = s.RxCount;
        read.error = QStringLiteral("ERROR! Problems getting data from Tarvo Board");
        co_return read;
    }
    bool waited = false;
    if (end == ReportEnd::WholeAndQuiet) {
        waited = co_await waitForWholeReport(s, kit);
    } else {
        waited = co_await s.waitTicks(kReportWaitTicks);
    }
    if (!waited) {
        read.stopped = true;
        co_return read;
    }
    read.received = s.RxCount;
    read.report = scanMeterReport(s.text(), s.RxCount, kit);
    co_return read;
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

QCoro::Task<bool> viewLastCashout(BoardSession& s) {
    s.clearText();
    // Asks for the reply itself rather than rely on what the previous command left: over USB
    // it is read only while ExpectReply is set.
    const bool asked = co_await askFor(s, frames::lastCashout());
    if (!asked) {
        co_return false;
    }
    auto committed = co_await askFor(s, frames::cashCommit());
    co_return committed;
}

QCoro::Task<bool> viewLog(BoardSession& s) {
    return clearAndAsk(s, frames::viewLog(), true);
}

QCoro::Task<bool> sendKey(BoardSession& s) {
    // The prefix is read over USB as the command before left it.
    return clearAndAsk(s, frames::keyCommand(), false);
}

// ---------------------------------------------------------------------------------------------
// Remote actions

QCoro::Task<bool> clearMemory(BoardSession& s) {
    const frames::Command first = frames::clearMemoryFirst();
    const frames::Command second = frames::clearMemorySecond();
    const bool prefixed = co_await s.sendPrefixFor(first);
    if (!prefixed) {
        co_return false;
    }
    s.ExpectReply = true;
    const bool sent = co_await s.sendPieces(first);
    if (!sent) {
        co_return false;
    }
    auto asked = co_await askFor(s, second);
    co_return asked;
}

QCoro::Task<bool> forceCashout(BoardSession& s, int index) {
    s.clearText();
    return s.sendCommand(frames::forceCashout(index));
}

QCoro::Task<bool> coinIn(BoardSession& s, int index) {
    return s.sendCommand(frames::coinIn(index));
}

QCoro::Task<bool> coinInMultiplier(BoardSession& s, char input, int index, int value) {
    return s.sendCommand(frames::coinInMultiplier(input, index, value));
}

QCoro::Task<bool> calibrationCoins(BoardSession& s, std::vector<int> targets) {
    for (int coin = 0; coin < kTestCoins; ++coin) {
        for (int i : targets) {
            const bool sent = co_await coinIn(s, i);
            if (!sent || s.stopping()) {
                co_return false;
            }
        }
    }
    const bool settled = co_await s.waitTicks(kSettleTicks);
    if (!settled) {
        co_return false;
    }
    for (int i : targets) {
        const bool sent = co_await forceCashout(s, i);
        if (!sent || s.stopping()) {
            co_return false;
        }
    }
    for (std::size_t k = 0; k < targets.size(); ++k) {
        s.ExpectReply = false;
        const bool committed = co_await s.sendCommand(frames::cashCommit());
        if (!committed) {
            co_return false;
        }
        const bool settledAgain = co_await s.waitTicks(kSettleTicks);
        if (!settledAgain) {
            co_return false;
        }
    }
    co_return true;
}

// ---------------------------------------------------------------------------------------------
// Terminal parameters

QCoro::Task<bool> writeParameters(BoardSession& s, int index, int codes, int flags) {
    return s.sendCommand(frames::terminalParameters(index, codes, flags));
}

QCoro::Task<bool> writeParametersDip(BoardSession& s, int index) {
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

QCoro::Task<bool> sendLocation(BoardSession& s, QStringList lines) {
    prepareText(s);
    return s.sendCommand(frames::locationInfo(lines));
}

QCoro::Task<bool> sendLaw(BoardSession& s, QStringList lines) {
    prepareText(s);
    const bool first = co_await s.sendCommand(frames::lawInfoFirst(lines));
    if (!first) {
        co_return false;
    }
    // The board takes the eight lines after GS "TL" as one command: its second half follows
    // even a stop.
    auto second = co_await s.sendCommand(frames::lawInfoSecond(lines), true);
    co_return second;
}

QCoro::Task<bool> sendTimeAndDate(BoardSession& s, QDateTime now) {
    prepareText(s);
    // One reading for every field, so a send just before midnight never mixes two days.
    return s.sendCommand(frames::timeAndDate(now));
}

// ---------------------------------------------------------------------------------------------
// Terminal mode

QCoro::Task<bool> terminalMode(BoardSession& s, bool enter) {
    s.clearText();
    // Over USB the board's answers are read only while a reply is expected; whatever command
    // went before, terminal mode is there to show them.
    s.ExpectReply = true;
    return s.sendCommand(enter ? frames::enterTerminalMode() : frames::leaveTerminalMode());
}

// ---------------------------------------------------------------------------------------------
// Pulse widths

QCoro::Task<std::optional<std::array<PulseGameRead, kPulseGames>>> readPulses(BoardSession& s) {
    s.clearText();
    const bool asked = co_await askFor(s, frames::pulseRead());
    if (!asked) {
        co_return std::nullopt;
    }
    s.TickCount = 0;
    std::function<bool()> replied = [&s] {
        return s.text().size() >= kPulseReplyMinimum || s.TickCount >= kPulseReplyWaitTicks;
    };
    const bool waited = co_await s.waitUntil(std::move(replied));
    if (!waited || s.text().size() < kPulseReplyMinimum) {
        co_return std::nullopt;
    }
    const bool tail = co_await s.waitTicks(kPulseTailTicks);
    if (!tail) {
        co_return std::nullopt;
    }
    co_return readPulseReply(s.text());
}

QCoro::Task<bool> writePulses(BoardSession& s, std::vector<QByteArray> items) {
    // No reply is awaited, so the items are not followed by reads over USB.
    s.ExpectReply = false;
    return s.sendCommand(frames::pulseWrite(items));
}

}  // namespace tarvo::board
