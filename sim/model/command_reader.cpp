#include "model/command_reader.h"

#include <utility>

namespace tarvo::sim {

namespace {

constexpr char GS = 0x1D;
constexpr char ESC = 0x1B;
constexpr int kMaxTextCommand = 600;
const QByteArray kPrefixHead = "\x1dTP";
const QByteArray kLeaveSequence = "\x1b\x1b\x1b    ";

bool isLaw(const QByteArray& cur) {
    return cur.startsWith("\x1dTL");
}

// Commands that are never announced by a target prefix: the program writes the session
// commands itself, and sends the enquiry and the wake byte without one.
bool exemptFromPrefix(const QByteArray& cmd) {
    const auto b0 = static_cast<unsigned char>(cmd[0]);
    return b0 == 0x05 || b0 == 0x8A || cmd.startsWith("\x1d\x45");  // GS "E"
}

}  // namespace

CommandReader::Need CommandReader::examine(const QByteArray& cur, int& length) {
    const int n = cur.size();
    auto fixedLength = [&](int len, const QByteArray& pattern = {}) {
        // `pattern` holds the bytes that must follow the first; 0 matches any byte.
        for (int i = 1; i < n && i - 1 < pattern.size(); ++i) {
            if (pattern[i - 1] != 0 && cur[i] != pattern[i - 1]) {
                return Need::Invalid;
            }
        }
        length = len;
        return n >= len ? Need::Complete : Need::More;
    };
    auto crEnded = [&](int lines) {
        if (n > kMaxTextCommand) {
            return Need::Invalid;
        }
        length = n;
        return cur.count('\r') >= lines ? Need::Complete : Need::More;
    };
    switch (static_cast<unsigned char>(cur[0])) {
        case 0x05:
        case 0x8A:
        case 0x8D:
            return fixedLength(1);
        case 0x80:
            return fixedLength(3, "\x81\x81");
        case 0x81:
            return fixedLength(2, "\x80");
        case ESC:
            if (n < 2) {
                return Need::More;
            }
            if (cur[1] == 'O') {
                if (n >= 3 && cur[2] != 'S' && cur[2] != 'T') {
                    return Need::Invalid;
                }
                return fixedLength(3);
            }
            if (cur[1] == 'C') {
                return fixedLength(3);
            }
            if (cur[1] == ESC) {
                return fixedLength(7, kLeaveSequence.mid(1));
            }
            return Need::Invalid;
        case GS:
            if (n < 2) {
                return Need::More;
            }
            switch (cur[1]) {
                case 'E':
                    return fixedLength(3);
                case 'C':
                    return fixedLength(3, QByteArray("\0C", 2));
                case 'B':
                    return fixedLength(4, QByteArray(1, '\0') + "11");
                case 'T':
                    break;
                default:
                    return Need::Invalid;
            }
            if (n < 3) {
                return Need::More;
            }
            switch (cur[2]) {
                case 'P':
                    return fixedLength(4);
                case 'M':
                    return fixedLength(6);
                case 'A':
                case 'B':
                    return fixedLength(5);
                case 'O':
                    return fixedLength(8);
                case 'l':
                case 'r':
                    return fixedLength(3);
                case 'w':
                    return fixedLength(3 + 54 * 4);
                case 'T':
                    return fixedLength(13);
                case 'H':
                    return crEnded(4);
                case 'L':
                    return crEnded(8);
                default:
                    return Need::Invalid;
            }
        default:
            return Need::Invalid;
    }
}

QList<CommandReader::Item> CommandReader::feed(char byte, bool terminalMode) {
    return terminalMode && inlinePrefix_.isEmpty() ? feedTerminal(byte) : feedCommand(byte);
}

QList<CommandReader::Item> CommandReader::abandon() {
    QList<Item> out;
    if (busy()) {
        out << Item{cur_ + inlinePrefix_, false, true, "incomplete command dropped"};
    }
    cur_.clear();
    inlinePrefix_.clear();
    prefixCode_ = -1;
    lawSplitChecked_ = false;
    splitError_.clear();
    return out;
}

bool CommandReader::lawFirstHalfDone() const {
    return isLaw(cur_) && cur_.endsWith('\r') && cur_.count('\r') == 4;
}

QList<CommandReader::Item> CommandReader::feedCommand(char byte) {
    QList<Item> out;
    if (!inlinePrefix_.isEmpty()) {
        inlinePrefix_ += byte;
        if (inlinePrefix_.size() < 4 && kPrefixHead.startsWith(inlinePrefix_)) {
            return out;
        }
        const QByteArray got = std::exchange(inlinePrefix_, {});
        if (got.size() == 4 && got.startsWith(kPrefixHead)) {
            startPrefix(out, got);
            prefixStart_ = cur_.size();
            return out;
        }
        for (char c : got) {  // not a prefix after all: law text
            out << append(c);
        }
        return out;
    }
    if (byte == GS && lawFirstHalfDone()) {
        inlinePrefix_ = QByteArray(1, byte);
        return out;
    }
    return append(byte);
}

QList<CommandReader::Item> CommandReader::append(char byte) {
    QList<Item> out;
    cur_ += byte;
    int length = 0;
    switch (examine(cur_, length)) {
        case Need::More:
            if (byte == '\r' && lawFirstHalfDone() && !lawSplitChecked_) {
                // The first prefix of the law text covers GS "TL" and lines 1 to 4.
                lawSplitChecked_ = true;
                splitError_ = checkCovered(cur_.size(), false);
            }
            return out;
        case Need::Complete: {
            const QByteArray cmd = std::exchange(cur_, {});
            if (cmd.startsWith(kPrefixHead)) {
                startPrefix(out, cmd);
            } else {
                finishCommand(out, cmd);
            }
            return out;
        }
        case Need::Invalid:
            break;
    }
    prefixCode_ = -1;
    lawSplitChecked_ = false;
    splitError_.clear();
    if (cur_.size() == 1) {
        out << Item{std::exchange(cur_, {}), false, true, "unknown command byte"};
        return out;
    }
    // The byte that did not fit may start the next command.
    QByteArray bad = std::exchange(cur_, {});
    const char last = bad.back();
    bad.chop(1);
    out << Item{bad, false, true, "incomplete or unknown command"};
    out << feedCommand(last);
    return out;
}

QList<CommandReader::Item> CommandReader::feedTerminal(char byte) {
    QList<Item> out;
    if (cur_.isEmpty() && byte != ESC && byte != GS) {
        finishCommand(out, QByteArray(1, byte));
        return out;
    }
    cur_ += byte;
    const QByteArray& pattern = cur_[0] == ESC ? kLeaveSequence : kPrefixHead;
    const int full = cur_[0] == ESC ? 7 : 4;
    const bool matches =
        cur_[0] == ESC ? pattern.startsWith(cur_) : pattern.startsWith(cur_.left(3));
    if (matches && cur_.size() < full) {
        return out;
    }
    if (matches) {
        const QByteArray cmd = std::exchange(cur_, {});
        if (cmd[0] == ESC) {
            finishCommand(out, cmd);
        } else {
            startPrefix(out, cmd);
        }
        return out;
    }
    // A key that only looked like the start of a sequence.
    const QByteArray keys = std::exchange(cur_, {});
    finishCommand(out, keys.left(1));
    for (char c : keys.mid(1)) {
        out << feedTerminal(c);
    }
    return out;
}

void CommandReader::startPrefix(QList<Item>& out, const QByteArray& bytes) {
    Item item{bytes, true, false, {}};
    if (prefixCode_ >= 0) {
        item.error = QStringLiteral("target prefix with no command after it");
    }
    prefixCode_ = static_cast<unsigned char>(bytes[3]);
    prefixStart_ = 0;
    out << item;
}

void CommandReader::finishCommand(QList<Item>& out, QByteArray bytes) {
    Item item{bytes, false, false, std::exchange(splitError_, {})};
    if (!exemptFromPrefix(bytes)) {
        const QString e = checkCovered(bytes.size(), bytes.startsWith("\x1dTw"));
        if (!e.isEmpty()) {
            item.error = item.error.isEmpty() ? e : item.error + "; " + e;
        }
    }
    lawSplitChecked_ = false;
    out << item;
}

QString CommandReader::checkCovered(int end, bool pulseWrite) {
    if (prefixCode_ < 0) {
        return requirePrefix_ ? QStringLiteral("missing target prefix") : QString();
    }
    const int code = std::exchange(prefixCode_, -1);
    // The pulse write is announced with 192 although 219 bytes follow.
    const int expected = pulseWrite ? 192 : end - prefixStart_;
    if (code == expected) {
        return {};
    }
    return QStringLiteral("target prefix code %1, the command that follows needs %2")
        .arg(code)
        .arg(expected);
}

}  // namespace tarvo::sim
