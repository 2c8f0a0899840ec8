#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

// Every frame the program sends to a board is built here and nowhere else.
namespace tarvo::frames {

constexpr char GS = 0x1D;
constexpr char ESC = 0x1B;

// One board command as handed to the transport: one or more pieces (each its own write,
// and on a multi-drop line its own addressed frame), and the code of the target prefix
// that announces it.
struct Command {
    std::vector<QByteArray> pieces;
    int prefixCode = 0;
    // All pieces joined, as they appear on a plain line.
    QByteArray joined() const;
};

// What follows the address byte of a multi-drop frame: the length byte, then `frame`. The
// length travels in one byte: a longer frame cannot go on a multi-drop line.
QByteArray multiDropBody(const QByteArray& frame);
constexpr qsizetype kLargestMultiDropFrame = 255;

// GS "TP" code: announces the command that follows while the Brisko target is chosen.
QByteArray targetPrefix(int code);
// The code travels in one byte: a longer command cannot be announced.
constexpr int kLargestPrefixCode = 255;

QByteArray openSession();   // GS "E" 0x01
QByteArray closeSession();  // GS "E" 0x00

Command enquiry();       // 0x05
Command probeWake();     // 0x8A
Command meterRequest();  // 0x80 0x81 0x81

Command lastCashout();  // ESC "OT"
Command cashCommit();   // GS "CC"
Command viewLog();      // GS "Tl"
Command keyCommand();   // GS "B11"

Command clearMemoryFirst();   // 0x8D
Command clearMemorySecond();  // 0x81 0x80

// Terminal index 0..5; the board names the terminal by its digit in some commands and by
// the raw index in others.
Command forceCashout(int terminal);  // ESC "C" digit
Command coinIn(int terminal);        // GS "TM" digit 0xC8 0x00
// input 'A' or 'B'; GS "TA"/"TB" index value
Command coinInMultiplier(char input, int terminal, int value);

// GS "TO" n 0xA5 codes flags 0x00
Command terminalParameters(int terminal, int codes, int flags);
// GS "TO" n 0 0 0 0
Command terminalParametersDip(int terminal);

// GS "T" "H" and the four trimmed lines, each ended by CR.
Command locationInfo(const QStringList& lines);
// Law text goes as two commands under one header: GS "T" "L" and lines 1..4, then 5..8.
Command lawInfoFirst(const QStringList& lines);
Command lawInfoSecond(const QStringList& lines);
// GS "T" "T" hour minute month day year (two digits each) from one reading of the clock.
Command timeAndDate(const QDateTime& now);

Command enterTerminalMode();  // ESC "OS"
Command leaveTerminalMode();  // ESC ESC ESC and four blanks
Command keystroke(char key);

Command pulseRead();  // GS "Tr"
// GS "Tw" and the 54 items; announced with the fixed code 192.
Command pulseWrite(const std::vector<QByteArray>& items);
// One value as the write sends it: at least three digits, zero-padded, then a blank.
QByteArray pulseWriteItem(double value);

// "ATDT", the number and CR, written raw to the modem.
QByteArray dialString(const QString& number);

}  // namespace tarvo::frames
