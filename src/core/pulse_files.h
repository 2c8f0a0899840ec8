#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "core/pulse_settings.h"

// The pulse-width window's files as bytes (Windows-1252, CR LF lines) and its file names.
namespace tarvo {

// ---------------------------------------------------------------------------------------------
// Template (.set, six games) and game (.gam, one game) files

// Nine lines per game: TxtPulse1On, TxtPulse1OFF, txtHopperOn, TxtHopperOff, TxtOffset,
// TxtOffset2, TxtPulse2On, TxtPulse2Off as the boxes hold them, then the hopper position as
// " 0 ", " 1 " or "-1 ". Every line ends in CR LF.
QByteArray templateFileBytes(const PulseGames& games);
QByteArray gameFileBytes(const GamePulseSetting& game);

// The most a loader reads: open the file, read at most this many bytes plus one, and hand them
// over; a longer file is refused by the reader without reading the rest.
constexpr qsizetype kTemplateFileMaxBytes = 8192;
constexpr qsizetype kGameFileMaxBytes = 2048;

// A loaded file: the games in file order, or an error text (then games is empty and the
// window changes nothing). Values are one per line; a comma ends a value and the rest of its
// line is dropped; a value that is a plain decimal number loads in plain form ("005" -> "5");
// other text loads unchanged. A hopper value other than -1, 0 or 1 is not given.
struct PulseFileLoad {
    std::vector<PulseGameRead> games;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
PulseFileLoad readTemplateFile(const QByteArray& bytes);  // six games
PulseFileLoad readGameFile(const QByteArray& bytes);      // one game

// The message box for a failed load.
PulseRefusal pulseLoadRefusal(const QString& error);

// ---------------------------------------------------------------------------------------------
// BIX file

constexpr qsizetype kBixFileBytes = 54;

// 54 bytes: blocks TxtPulse1On, txtHopperOn, TxtPulse2On, TxtPulse1OFF, TxtHopperOff,
// TxtPulse2Off, TxtOffset, TxtOffset2 of half the value (halves to even), games 0..5 in each,
// then the six hopper positions. An empty or non-numeric box writes 0. Refused, naming game
// and field: a negative value, a value above 510 ms, a game without a hopper selection.
struct PulseBix {
    QByteArray bytes;
    std::optional<PulseRefusal> refusal;
    bool accepted() const { return !refusal.has_value(); }
};
PulseBix bixFileBytes(const PulseGames& games);

// ---------------------------------------------------------------------------------------------
// Dialogs and names

// The five dialogs of the window: title, filter, and whether it is the open dialog.
struct PulseDialog {
    QString title;
    QString filter;
    bool open = false;
};
PulseDialog loadTemplateDialog();  // "Open Game File", *.set
PulseDialog saveTemplateDialog();  // "Save Template File"
PulseDialog loadGameDialog();      // "Open Game File", *.gam
PulseDialog saveGameDialog();      // "Save Game File"
PulseDialog createBixDialog();     // "Create Bix File"

// The name the dialog starts with: "K7731_" for "Create Bix File", else empty.
QString pulseDialogInitialName(const QString& dialogTitle);
// Whether subOpenFile shows the open dialog (title exactly "Open Game File").
bool pulseDialogIsOpen(const QString& dialogTitle);

// The chosen path as subOpenFile returns it: ".gam"/".set" appended to the save dialogs'
// names unless they end so (case-sensitive: "pulse.GAM" -> "pulse.GAM.gam"); a BIX name gets
// ".bix" and starts with "K7731_" in its folder ("F/tank", "F/tank.bix" and "F/K7731_tank" all
// give "F/K7731_tank.bix"). Other titles return the path unchanged.
QString pulseChosenFileName(const QString& dialogTitle, const QString& path);

// Frame caption after loading game `game` (0..5) from `path`: "GAME # 1 - " + path.
QString pulseLoadedCaption(int game, const QString& path);
// Frame caption at start: "GAME #1".."GAME #6".
QString pulseStartCaption(int game);

}  // namespace tarvo
