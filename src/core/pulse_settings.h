#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The pulse-width window's values as pure data: the nine values of a game, the plot's line
// segments, the board's "Tr" reply and the "Tw" items. The window only moves texts between its
// boxes and these functions and shows what they return.
namespace tarvo {

constexpr int kPulseGames = 6;
constexpr int kPulseTextFields = 8;
constexpr int kPulseFields = 9;

// The nine values of a game, in the board's block order ("Tr"/"Tw"); the value of each
// enumerator is its block number.
enum class PulseField {
    Pulse1On,   // TxtPulse1On
    Pulse1Off,  // TxtPulse1OFF
    HopperOn,   // txtHopperOn
    HopperOff,  // TxtHopperOff
    Pulse2On,   // TxtPulse2On
    Pulse2Off,  // TxtPulse2Off
    Offset,     // TxtOffset
    Offset2,    // TxtOffset2
    Hopper,     // CmbHopper (list position)
};

// The field as the user sees it, used in messages: "Mech Pulse #1 ON", "Mech Pulse #2 OFFSET",
// "Mech Pulse #2 OFFSET 2", "Hopper /Cashout OFF", "Hopper /Cashout".
QString pulseFieldLabel(PulseField field);

// List positions of CmbHopper.
constexpr int kHopperNone = -1;
constexpr int kHopperCashout = 0;
constexpr int kHopperHopper = 1;

// One game as its boxes hold it: eight texts, unchanged, and the hopper list position.
struct GamePulseSetting {
    QString TxtPulse1On, TxtPulse1OFF, txtHopperOn, TxtHopperOff, TxtPulse2On, TxtPulse2Off,
        TxtOffset, TxtOffset2;
    int CmbHopper = kHopperNone;

    // The text of a text field (not PulseField::Hopper).
    QString& text(PulseField field);
    const QString& text(PulseField field) const;

    bool operator==(const GamePulseSetting&) const = default;
};

// Games 0..5 ("GAME #1".."GAME #6").
using PulseGames = std::array<GamePulseSetting, kPulseGames>;

// A game as a reply or a file gives it: the values, and whether the source named a hopper
// list position at all. When `hopperGiven` is false, leave CmbHopper as it is.
struct PulseGameRead {
    GamePulseSetting values;
    bool hopperGiven = true;

    // Puts the read values into `game`, keeping its hopper when none was given.
    void applyTo(GamePulseSetting& game) const;
};

// A box's whole number: its leading number, halves to even, held to the 32-bit range.
int32_t pulseWholeNumber(QStringView text);

// ---------------------------------------------------------------------------------------------
// Plot

// Picture-box pixels, y downward.
constexpr int kPlotMargin = 20;
constexpr int kPlotIdleY = 5;
constexpr int kPlotActiveY = 25;
constexpr int kPlotEndX = 600;

struct PlotSegment {
    int x1, y1, x2, y2;
    bool operator==(const PlotSegment&) const = default;
};

// The lines of one pulse train in drawing order, each starting where the previous one ended:
// baseline from (0, 5) to (offset + 20, 5), then, when on and off are both positive, each
// period (up, across at 25, down, across at 5) while the period starts left of x 600, and a
// final rising edge. Parts far outside the box are shortened but keep every visible pixel.
std::vector<PlotSegment> plotSegments(int32_t offset, int32_t valueOn, int32_t valueOff);

// The three trains of one game. Drawn only when all seven boxes they need hold text
// (TxtOffset2 is not needed); otherwise the game's three pictures stay empty (nullopt).
struct GamePlot {
    std::vector<PlotSegment> mechPulse1;  // PicMechPulse1
    std::vector<PlotSegment> mechPulse2;  // PicMechPulse2 (offset TxtOffset)
    std::vector<PlotSegment> hopper;      // PicHopperPulse
};
std::optional<GamePlot> gamePlot(const GamePulseSetting& game);

// ---------------------------------------------------------------------------------------------
// Board read ("Tr")

constexpr int kPulseReplyMinimum = 207;  // characters before the read takes the reply
constexpr int kPulseReplyFull = 231;     // characters that hold every item

// The items of game n, block k, at 26k + 4n: three characters each, copied unchanged (fewer or
// none where the reply is shorter). The hopper is given only by a whole item that is the number
// 0 or 1 ("000", "001").
// nullopt when the reply is shorter than kPulseReplyMinimum.
std::optional<std::array<PulseGameRead, kPulseGames>> readPulseReply(QStringView reply);

// ---------------------------------------------------------------------------------------------
// Refusals and the board write ("Tw")

// A message box the window shows instead of acting; always the critical-stop icon.
struct PulseRefusal {
    QString text;   // "ERROR MISSING INFORMATION", ...
    QString title;  // "ERROR ON WRITING", ...
    bool criticalIcon = true;
    int game = 0;  // 1..6: the first game at fault
    PulseField field = PulseField::Pulse1On;
};

// Either the 54 items of "Tw" (block by block, games 0..5 within a block; each exactly three
// digits and a blank, for frames::pulseWrite) or the refusal, when anything would not make a
// well-formed item. Checked over all six games before any refusal, in this order: an empty
// box ("ERROR MISSING INFORMATION"); then a value that is not a plain number, is negative or
// has no hopper selection (a message naming game and field); then a value above 502
// ("ONE OR SOME VALUES ARE EXCEEDING 255 ms") or a TxtOffset2 of 1000 or more (named).
struct PulseWrite {
    std::vector<QByteArray> items;
    std::optional<PulseRefusal> refusal;
    bool accepted() const { return !refusal.has_value(); }
};
PulseWrite pulseWriteItems(const PulseGames& games);

}  // namespace tarvo
