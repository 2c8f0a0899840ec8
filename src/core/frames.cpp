#include "frames.h"

#include "codepage.h"
#include "numeric.h"

#include <QDate>
#include <QTime>

namespace tarvo::frames {

namespace {

constexpr char CR = 0x0D;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(values.size()));
    for (int v : values) {
        out.append(static_cast<char>(v & 0xFF));
    }
    return out;
}

// A command whose announced code is its own length, the rule for every command but the pulse
// write.
Command sized(std::vector<QByteArray> pieces) {
    Command c;
    c.pieces = std::move(pieces);
    c.prefixCode = static_cast<int>(c.joined().size());
    return c;
}

Command single(QByteArray frame) {
    return sized({std::move(frame)});
}

// Only blanks count: a tab the user typed is part of the text.
QString trimBlanks(const QString& s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s[begin] == u' ') {
        ++begin;
    }
    while (end > begin && s[end - 1] == u' ') {
        --end;
    }
    return s.mid(begin, end - begin);
}

// Lines first..last of a text block, each trimmed and ended by CR, one piece each. A missing
// line goes as an empty one so the board always gets its fixed number of lines.
void appendLines(std::vector<QByteArray>& pieces, const QStringList& lines, int first, int last) {
    for (int i = first; i <= last; ++i) {
        const QString line = i < lines.size() ? trimBlanks(lines[i]) : QString();
        pieces.push_back(toBoardBytes(line) + CR);
    }
}

QByteArray twoDigits(int v) {
    return QByteArray::number(v).rightJustified(2, '0');
}

}  // namespace

QByteArray multiDropBody(const QByteArray& frame) {
    return static_cast<char>(static_cast<unsigned char>(frame.size())) + frame;
}

QByteArray Command::joined() const {
    QByteArray out;
    for (const QByteArray& p : pieces) {
        out += p;
    }
    return out;
}

QByteArray targetPrefix(int code) {
    return bytes({GS, 'T', 'P', code});
}

QByteArray openSession() {
    return bytes({GS, 'E', 0x01});
}
QByteArray closeSession() {
    return bytes({GS, 'E', 0x00});
}

Command enquiry() {
    return single(bytes({0x05}));
}
Command probeWake() {
    return single(bytes({0x8A}));
}
Command meterRequest() {
    return single(bytes({0x80, 0x81, 0x81}));
}

Command lastCashout() {
    return single(bytes({ESC, 'O', 'T'}));
}
Command cashCommit() {
    return single(bytes({GS, 'C', 'C'}));
}
Command viewLog() {
    return single(bytes({GS, 'T', 'l'}));
}
Command keyCommand() {
    return single(bytes({GS, 'B', '1', '1'}));
}

Command clearMemoryFirst() {
    return single(bytes({0x8D}));
}
Command clearMemorySecond() {
    return single(bytes({0x81, 0x80}));
}

Command forceCashout(int terminal) {
    return single(bytes({ESC, 'C', 0x31 + terminal}));
}

Command coinIn(int terminal) {
    return single(bytes({GS, 'T', 'M', 0x31 + terminal, 0xC8, 0x00}));
}

Command coinInMultiplier(char input, int terminal, int value) {
    return single(bytes({GS, 'T', input, terminal, value}));
}

Command terminalParameters(int terminal, int codes, int flags) {
    return single(bytes({GS, 'T', 'O', terminal, 0xA5, codes, flags, 0x00}));
}

Command terminalParametersDip(int terminal) {
    return single(bytes({GS, 'T', 'O', terminal, 0x00, 0x00, 0x00, 0x00}));
}

Command locationInfo(const QStringList& lines) {
    std::vector<QByteArray> pieces = {bytes({GS}), "T", "H"};
    appendLines(pieces, lines, 0, 3);
    return sized(std::move(pieces));
}

Command lawInfoFirst(const QStringList& lines) {
    std::vector<QByteArray> pieces = {bytes({GS}), "T", "L"};
    appendLines(pieces, lines, 0, 3);
    return sized(std::move(pieces));
}

Command lawInfoSecond(const QStringList& lines) {
    std::vector<QByteArray> pieces;
    appendLines(pieces, lines, 4, 7);
    return sized(std::move(pieces));
}

Command timeAndDate(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    std::vector<QByteArray> pieces = {bytes({GS}), "T", "T"};
    const QByteArray hour = twoDigits(t.hour());
    if (t.hour() < 12) {
        // The board takes a morning hour as two separate digits.
        pieces.push_back(hour.left(1));
        pieces.push_back(hour.mid(1));
    } else {
        pieces.push_back(hour);
    }
    pieces.push_back(twoDigits(t.minute()));
    pieces.push_back(twoDigits(d.month()));
    pieces.push_back(twoDigits(d.day()));
    pieces.push_back(twoDigits(((d.year() % 100) + 100) % 100));
    return sized(std::move(pieces));
}

Command enterTerminalMode() {
    return single(bytes({ESC, 'O', 'S'}));
}
Command leaveTerminalMode() {
    return single(bytes({ESC, ESC, ESC, ' ', ' ', ' ', ' '}));
}
Command keystroke(char key) {
    return single(QByteArray(1, key));
}

Command pulseRead() {
    return single(bytes({GS, 'T', 'r'}));
}

Command pulseWrite(const std::vector<QByteArray>& items) {
    Command c;
    c.pieces.reserve(items.size() + 1);
    c.pieces.push_back(bytes({GS, 'T', 'w'}));
    c.pieces.insert(c.pieces.end(), items.begin(), items.end());
    // The board expects this fixed code, not the byte count of the write.
    c.prefixCode = 192;
    return c;
}

QByteArray pulseWriteItem(double value) {
    const int64_t whole = roundHalfAway(value);
    // Negate in unsigned arithmetic so the most negative value has a magnitude too.
    const uint64_t magnitude =
        whole < 0 ? uint64_t{0} - static_cast<uint64_t>(whole) : static_cast<uint64_t>(whole);
    const QByteArray digits = QByteArray::number(static_cast<qulonglong>(magnitude));
    QByteArray item = whole < 0 ? QByteArray("-") : QByteArray();
    item += digits.rightJustified(3, '0');
    item += ' ';
    return item;
}

QByteArray dialString(const QString& number) {
    return "ATDT" + toBoardBytes(number) + CR;
}

}  // namespace tarvo::frames
