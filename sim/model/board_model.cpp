#include "model/board_model.h"

#include "model/board_text.h"

#include <algorithm>

namespace tarvo::sim {

namespace {

constexpr char GS = 0x1D;
constexpr char ESC = 0x1B;
constexpr int kMaxLog = 60;
constexpr int kMaxTrace = 20000;
const QByteArray kLeaveSequence = "\x1b\x1b\x1b    ";

int byteAt(const QByteArray& b, int i) {
    return static_cast<unsigned char>(b[i]);
}

// Terminal digit "1".."6" to index 0..5, -1 otherwise.
int terminalDigit(char c) {
    return c >= '1' && c <= '6' ? c - '1' : -1;
}

bool allDigits(const QByteArray& b) {
    for (char c : b) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !b.isEmpty();
}

QByteArray modemWord(ModemResult r) {
    switch (r) {
        case ModemResult::Connect:
            return "CONNECT 9600";
        case ModemResult::Busy:
            return "BUSY";
        case ModemResult::NoCarrier:
            return "NO CARRIER";
        case ModemResult::NoDialtone:
            return "NO DIALTONE";
        case ModemResult::Error:
            return "ERROR";
        case ModemResult::Silent:
            break;
    }
    return {};
}

}  // namespace

BoardModel::BoardModel(BoardConfig config) : config_(config), deframer_(config.addressPauseMs) {
    reader_.setRequirePrefix(config_.requirePrefix);
}

QString BoardModel::hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QList<Reply> BoardModel::receive(const QByteArray& bytes, qint64 timestampMs) {
    QList<Reply> out;
    if (config_.modem && config_.modemOptional && !modemOnline_) {
        receiveBesideModem(bytes, timestampMs, out);
        return out;
    }
    qsizetype used = 0;
    if (config_.modem && !modemOnline_) {
        for (; used < bytes.size() && !modemOnline_; ++used) {
            feedModem(bytes.mid(used, 1), out);
        }
    }
    if (used < bytes.size()) {
        feedLine(bytes.mid(used), timestampMs, out);
    }
    return out;
}

QList<Reply> BoardModel::receiveNineBit(const QList<quint16>& words, qint64 timestampMs) {
    QList<Reply> out;
    if (reader_.busy() && timestampMs - lastByteMs_ > config_.staleCommandMs) {
        for (const auto& item : reader_.abandon()) {
            record(hex(item.bytes), item.error);
        }
    }
    lastByteMs_ = timestampMs;
    feedFrames(deframer_.feedNineBit(words), out);
    return out;
}

void BoardModel::hangUp() {
    modemOnline_ = false;
    modemLine_.clear();
    for (const auto& item : reader_.abandon()) {
        record(hex(item.bytes), item.error);
    }
}

void BoardModel::receiveBesideModem(const QByteArray& bytes, qint64 timestampMs,
                                    QList<Reply>& out) {
    for (char c : bytes) {
        const QByteArray one(1, c);
        if (modemOnline_) {
            feedLine(one, timestampMs, out);
        } else if (modemLine_ == "A" && c != 'T') {
            // Only "AT" starts a modem command; anything else was meant for the board.
            modemLine_.clear();
            feedLine("A" + one, timestampMs, out);
        } else if (!modemLine_.isEmpty() || (c == 'A' && !reader_.busy())) {
            feedModem(one, out);
        } else {
            feedLine(one, timestampMs, out);
        }
    }
}

void BoardModel::feedModem(const QByteArray& bytes, QList<Reply>& out) {
    for (char c : bytes) {
        if (c == '\n') {
            continue;
        }
        if (c != '\r') {
            if (modemLine_.size() < 80) {
                modemLine_ += c;
            }
            continue;
        }
        QByteArray line = std::exchange(modemLine_, {});
        record(hex(line + '\r'));
        line = line.mid(std::max<qsizetype>(0, line.indexOf("AT")));  // noise before it
        if (line.startsWith("ATDT")) {
            const QByteArray word = modemWord(*config_.modem);
            if (!word.isEmpty()) {
                out << Reply{word + "\r\n", config_.modemDelayMs};
            }
            modemOnline_ = *config_.modem == ModemResult::Connect;
        } else if (line.startsWith("AT")) {
            out << Reply{"OK\r\n", 0};
        }
    }
}

void BoardModel::feedLine(const QByteArray& bytes, qint64 timestampMs, QList<Reply>& out) {
    if (reader_.busy() && timestampMs - lastByteMs_ > config_.staleCommandMs) {
        for (const auto& item : reader_.abandon()) {
            record(hex(item.bytes), item.error);
        }
    }
    lastByteMs_ = timestampMs;
    if (config_.multiDropAddress) {
        feedFrames(deframer_.feedTimed(bytes, timestampMs), out);
    } else {
        feedBoard(bytes, true, out);
    }
}

void BoardModel::feedFrames(const QList<MultiDropDeframer::Frame>& frames, QList<Reply>& out) {
    for (const auto& f : frames) {
        const QString addr = f.address < 0 ? "--" : hex(QByteArray(1, char(f.address)));
        const QString len = f.length < 0 ? "--" : hex(QByteArray(1, char(f.length)));
        record(addr + " | " + len + " | " + hex(f.data), f.error);
        if (f.error.isEmpty() && f.address == *config_.multiDropAddress) {
            feedBoard(f.data, false, out);
        }
    }
}

void BoardModel::feedBoard(const QByteArray& bytes, bool traceCommands, QList<Reply>& out) {
    for (char c : bytes) {
        for (const auto& item : reader_.feed(c, state_.terminalMode)) {
            QString error = item.error;
            if (!item.prefix && !item.junk) {
                const QString e = execute(item.bytes, out);
                if (!e.isEmpty()) {
                    error = error.isEmpty() ? e : error + "; " + e;
                }
            }
            if (traceCommands || !error.isEmpty()) {
                record((traceCommands ? "" : "   command ") + hex(item.bytes), error);
            }
        }
    }
}

QString BoardModel::execute(const QByteArray& cmd, QList<Reply>& out) {
    const bool cashoutView = std::exchange(cashoutView_, false);
    const bool clearArmed = std::exchange(clearArmed_, false);
    if (state_.terminalMode) {
        if (cmd == kLeaveSequence) {
            state_.terminalMode = false;
            out << Reply{"\r\nLEAVING TERMINAL MODE\r\n", 0};
        } else if (cmd[0] == '\r') {
            out << Reply{"\r\n> ", 0};
        } else if (cmd[0] == '\b') {
            out << Reply{"\b \b", 0};
        } else {
            out << Reply{cmd, 0};
        }
        return {};
    }
    switch (byteAt(cmd, 0)) {
        case 0x05:
            if (config_.probe == ProbeAnswer::First ||
                (config_.probe == ProbeAnswer::AfterWake && woken_)) {
                out << Reply{"TARVO BOARD READY\r\n", 0};
            }
            return {};
        case 0x8A:
            woken_ = true;
            return {};
        case 0x8D:
            clearArmed_ = true;
            return {};
        case 0x80: {
            const QByteArray report = meterReport(state_, config_.kit);
            const qsizetype pause =
                config_.reportPauseMs > 0 ? report.lastIndexOf("Coin_2 in") : -1;
            if (pause < 0) {
                out << Reply{report, 0};
            } else {
                out << Reply{report.left(pause), 0}
                    << Reply{report.mid(pause), config_.reportPauseMs};
            }
            return {};
        }
        case 0x81:
            if (!clearArmed) {
                return QStringLiteral("0x81 0x80 without 0x8D before it");
            }
            for (Terminal& t : state_.terminals) {
                t.received = t.returned = t.paidOut = t.coin1 = t.coin2 = 0;
            }
            note("MEMORY CLEARED");
            out << Reply{"MEMORY CLEARED\r\n", 0};
            return {};
        case GS:
            if (cmd[1] == 'C' && cashoutView) {
                out << Reply{lastCashoutTicket(state_), 0};
                return {};
            }
            return executeGs(cmd, out);
        case ESC:
            return executeEsc(cmd, out);
        default:
            return QStringLiteral("unknown command");
    }
}

QString BoardModel::executeGs(const QByteArray& cmd, QList<Reply>& out) {
    if (cmd[1] == 'E') {
        if (byteAt(cmd, 2) > 1) {
            return QStringLiteral("session byte is neither 0x00 nor 0x01");
        }
        state_.sessionOpen = cmd[2] == 1;
        return {};
    }
    if (cmd[1] == 'C') {
        // Credit left on the terminals goes back: the board clears it.
        for (int i = 0; i < kTerminals; ++i) {
            Terminal& t = state_.terminals[i];
            if (t.credit() > 0) {
                note("CREDIT RETURNED  TERMINAL " + QByteArray::number(i + 1));
                t.returned += t.credit();
            }
        }
        return {};
    }
    if (cmd[1] == 'B') {
        out << Reply{"KEY ACCEPTED\r\n", 0};
        return {};
    }
    switch (cmd[2]) {
        case 'M': {
            const int t = terminalDigit(cmd[3]);
            if (t < 0 || byteAt(cmd, 4) != 0xC8 || byteAt(cmd, 5) != 0x00) {
                return QStringLiteral("coin in needs a digit 1..6, 0xC8, 0x00");
            }
            coinIn(t, out);
            return {};
        }
        case 'A':
        case 'B': {
            const int t = byteAt(cmd, 3);
            if (t >= kTerminals) {
                return QStringLiteral("coin-in multiplier for terminal index %1").arg(t);
            }
            (cmd[2] == 'A' ? state_.terminals[t].coinMultA : state_.terminals[t].coinMultB) =
                byteAt(cmd, 4);
            return {};
        }
        case 'O':
            return executeParameters(cmd);
        case 'l':
            out << Reply{eventLog(state_), 0};
            return {};
        case 'r':
            out << Reply{pulseReply(state_), 0};
            return {};
        case 'w': {
            std::array<std::array<int, kTerminals>, kPulseBlocks> values{};
            for (int i = 0; i < kPulseBlocks * kTerminals; ++i) {
                const QByteArray item = cmd.mid(3 + 4 * i, 4);
                if (!allDigits(item.left(3)) || item[3] != ' ') {
                    return QStringLiteral("pulse item %1 is not three digits and a blank")
                        .arg(i + 1);
                }
                values[i / kTerminals][i % kTerminals] = item.left(3).toInt();
            }
            state_.pulses = values;
            note("PULSE SETTINGS WRITTEN");
            return {};
        }
        case 'T': {
            const QByteArray d = cmd.mid(3);
            BoardClock c{d.mid(0, 2).toInt(), d.mid(2, 2).toInt(), d.mid(4, 2).toInt(),
                         d.mid(6, 2).toInt(), d.mid(8, 2).toInt()};
            if (!allDigits(d) || c.hour > 23 || c.minute > 59 || c.month < 1 || c.month > 12 ||
                c.day < 1 || c.day > 31) {
                return QStringLiteral("time and date are not ten digits of a valid time");
            }
            state_.clock = c;
            note("CLOCK SET");
            return {};
        }
        case 'H':
        case 'L':
            executeText(cmd);
            return {};
    }
    return QStringLiteral("unknown command");
}

QString BoardModel::executeEsc(const QByteArray& cmd, QList<Reply>& out) {
    if (cmd == kLeaveSequence) {
        return {};  // already out of terminal mode
    }
    if (cmd[1] == 'O') {
        if (cmd[2] == 'S') {
            state_.terminalMode = true;
            out << Reply{
                "\r\nTARVO BOARD TERMINAL MODE\r\n"
                "ESC ESC ESC AND FOUR BLANKS TO LEAVE\r\n> ",
                0};
        } else {
            cashoutView_ = true;  // the GS "CC" that follows prints the last cash-out
        }
        return {};
    }
    const int i = terminalDigit(cmd[2]);
    if (i < 0) {
        return QStringLiteral("cash-out needs a terminal digit 1..6");
    }
    Terminal& t = state_.terminals[i];
    const QByteArray n = QByteArray::number(i + 1);
    const qint64 amount = t.credit();
    if (amount <= 0) {
        out << Reply{"NO CREDIT ON TERMINAL " + n + "\r\n", 0};
        return {};
    }
    t.paidOut += amount;
    state_.lastCashout = Cashout{i, amount, state_.clock, ++state_.tickets};
    note("CASHOUT " + QByteArray::number(amount) + "  TERMINAL " + n);
    out << Reply{"CASHOUT TERMINAL " + n + ": " + QByteArray::number(amount) + " PULSES\r\n", 0};
    return {};
}

void BoardModel::executeText(const QByteArray& cmd) {
    const QList<QByteArray> lines = cmd.mid(3).split('\r');  // the last piece is empty
    if (cmd[2] == 'H') {
        for (int i = 0; i < 4; ++i) {
            state_.location[i] = lines.value(i);
        }
        note("LOCATION TEXT SET");
    } else {
        for (int i = 0; i < 8; ++i) {
            state_.law[i] = lines.value(i);
        }
        note("LAW TEXT SET");
    }
}

QString BoardModel::executeParameters(const QByteArray& cmd) {
    const int n = byteAt(cmd, 3);
    if (n >= kTerminals) {
        return QStringLiteral("parameters for terminal index %1").arg(n);
    }
    Terminal& t = state_.terminals[n];
    if (cmd.mid(4) == QByteArray(4, '\0')) {
        t.dip = true;
    } else {
        const int codes = byteAt(cmd, 5);
        const int flags = byteAt(cmd, 6);
        if (byteAt(cmd, 4) != 0xA5 || byteAt(cmd, 7) != 0 || (flags & ~0x21) != 0 ||
            (codes & 0x1F) > 21) {
            return QStringLiteral("parameters are neither the 0xA5 form nor the DIP form");
        }
        t.dip = false;
        t.pulseCode = codes & 0x1F;
        t.multiplierPos = (codes >> 5) + ((flags & 0x01) ? 8 : 0);
        t.cents = (flags & 0x20) != 0;
    }
    note("PARAMETERS SET  TERMINAL " + QByteArray::number(n + 1));
    return {};
}

void BoardModel::coinIn(int i, QList<Reply>& out) {
    Terminal& t = state_.terminals[i];
    if (!t.active) {
        return;  // nothing is connected to count the pulses
    }
    t.received += t.pulsesPerCoin;
    t.coin1 += 1;
    note("COIN IN  TERMINAL " + QByteArray::number(i + 1));
    // One status field per pulse, with a mark at this terminal's position.
    QByteArray field = "\x1b/\x07......\r\n";
    field[3 + i] = '\x01';
    for (int p = 0; p < t.pulsesPerCoin; ++p) {
        out << Reply{field, p == 0 ? 0 : config_.pulseIntervalMs};
    }
}

void BoardModel::note(const QByteArray& event) {
    state_.log << state_.clock.text() + "  " + event;
    while (state_.log.size() > kMaxLog) {
        state_.log.removeFirst();
    }
}

void BoardModel::record(const QString& line, const QString& error) {
    const QString text = error.isEmpty() ? line : line + "  !! " + error;
    trace_ << text;
    if (trace_.size() > kMaxTrace) {
        trace_.removeFirst();
    }
    if (!error.isEmpty()) {
        errors_ << error;
    }
    if (sink_) {
        sink_(text);
    }
}

}  // namespace tarvo::sim
