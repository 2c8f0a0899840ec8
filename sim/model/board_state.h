#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace tarvo::sim {

inline constexpr int kTerminals = 6;
inline constexpr int kPulseBlocks = 9;

// The 22 pulse values a terminal can be set to, by their code 0..21.
const QList<QByteArray>& pulseValueTexts();
// The 16 pulse multipliers, by position 0..15 (8..15 are the ones above 50).
const QList<QByteArray>& multiplierTexts();

// What a lone enquiry byte (0x05) gets.
enum class ProbeAnswer {
    First,      // every enquiry is answered
    AfterWake,  // only once 0x8A has woken the board
    Never,
};

// The word a modem in front of the board gives to a dial string.
enum class ModemResult { Connect, Busy, NoCarrier, NoDialtone, Error, Silent };

// How the board and its line behave; fixed for a session.
struct BoardConfig {
    bool kit = false;  // one-terminal report layout
    ProbeAnswer probe = ProbeAnswer::First;
    std::optional<int> multiDropAddress = std::nullopt;  // set: frames of address, length, data
    int addressPauseMs = 12;                             // a gap this long follows an address byte
    std::optional<ModemResult> modem = std::nullopt;     // set: a modem answers "ATDT" first
    int modemDelayMs = 2500;
    // With a modem: a line that never dials reaches the board directly, as if the modem
    // were not there; only a line starting "AT" goes to the modem.
    bool modemOptional = false;
    bool requirePrefix = false;  // behind a Brisko system every command has GS "TP" code
    int pulseIntervalMs = 40;    // between the status fields of one coin
    int staleCommandMs = 1000;   // a half-received command older than this is dropped
    // Set: the meter report pauses this long before its last meter line, as a board busy
    // with a coin does.
    int reportPauseMs = 0;
};

struct Terminal {
    bool active = true;
    int pulseCode = 5;  // "10"
    bool dip = false;
    int multiplierPos = 0;
    bool cents = false;
    QByteArray printUnit = "MONEY";
    int coinMultA = 1;
    int coinMultB = 1;
    int pulsesPerCoin = 4;
    qint64 received = 0;
    qint64 returned = 0;
    qint64 paidOut = 0;
    qint64 coin1 = 0;
    qint64 coin2 = 0;

    qint64 credit() const { return received - returned - paidOut; }
    QByteArray pulseValueText() const;
    QByteArray multiplierText() const;
    QByteArray valueInText() const { return cents ? "CENTS" : "DOLLAR"; }
};

struct BoardClock {
    int hour = 12;
    int minute = 0;
    int month = 1;
    int day = 1;
    int year = 26;

    QByteArray text() const;  // "HH:MM MM/DD/YY"
    bool operator==(const BoardClock&) const = default;
};

struct Cashout {
    int terminal = -1;  // 0..5; -1 before the first
    qint64 amount = 0;
    BoardClock at;
    int ticket = 0;
};

// Everything the board keeps; tests read and set it directly.
struct BoardState {
    std::array<Terminal, kTerminals> terminals;
    QByteArray serial = "TB104217";  // empty: no serial number set
    QByteArray firmware = "V 2.14 R3";
    QByteArray printerFirmware = "PR 1.07 A";
    QByteArray printerStatus = "@@@@@@";  // six characters; bit 0x10 of the first: error
    std::array<QByteArray, 4> location;
    std::array<QByteArray, 8> law;
    BoardClock clock;
    // pulses[block][game]: Pulse1On, Pulse1Off, HopperOn, HopperOff, Pulse2On, Pulse2Off,
    // Offset, Offset2, hopper selection.
    std::array<std::array<int, kTerminals>, kPulseBlocks> pulses{{
        {50, 50, 50, 50, 50, 50},
        {50, 50, 50, 50, 50, 50},
        {40, 40, 40, 40, 40, 40},
        {60, 60, 60, 60, 60, 60},
        {50, 50, 50, 50, 50, 50},
        {50, 50, 50, 50, 50, 50},
        {0, 0, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0},
    }};
    QList<QByteArray> log;
    Cashout lastCashout;
    int tickets = 0;
    bool sessionOpen = false;
    bool terminalMode = false;

    void setPrinterError(bool error) { printerStatus = error ? "PA@@H@" : "@@@@@@"; }
};

}  // namespace tarvo::sim
