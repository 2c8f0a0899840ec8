#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <memory>

#include "core/pulse_settings.h"
#include "pulse_editor/pulse_picture.h"

namespace tarvo {

class RetreiveAccountingApp;
class PulseBoard;
class PulseFiles;

// The pulse-width window: six games of pulse timing, drawn as pulse trains, read from and
// written to the board through the main window, and kept in template, game and BIX files.
// It owns its controls; the board and file handlers live in their own classes.
class FrmSetPulses : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kGames = 6;
    template <typename T>
    using PerGame = std::array<T*, kGames>;

    explicit FrmSetPulses(RetreiveAccountingApp& main);
    ~FrmSetPulses() override;

    // --- Per-game controls (index n is game n + 1) ---
    PerGame<QGroupBox> Frame1{};
    PerGame<PulsePicture> PicMechPulse1{}, PicMechPulse2{}, PicHopperPulse{};
    PerGame<QToolButton> CmdLoadGame{}, CmdSaveGame{};
    PerGame<QLineEdit> TxtPulse1On{}, TxtPulse1OFF{}, TxtOffset{}, TxtOffset2{}, TxtPulse2On{},
        TxtPulse2Off{}, txtHopperOn{}, TxtHopperOff{};
    PerGame<QComboBox> CmbHopper{};

    // --- Buttons below the games ---
    QPushButton *CmdRead = nullptr, *CmdWrite = nullptr, *CmdRedraw = nullptr,
                *CmdCreateBix = nullptr, *CmdLoad = nullptr, *CmdSave = nullptr;

    // --- Window operations ---
    void CmdRedraw_Click();
    // Sets a frame's caption and the name it is announced by.
    void setFrameCaption(int n, const QString& caption);
    // The values of game n as its controls hold them, and of all six games.
    GamePulseSetting game(int n) const;
    PulseGames games() const;
    // Puts values read from the board or a file into the controls of game n.
    void fillGame(int n, const PulseGameRead& read);
    // The message box of a refused write, load or BIX file.
    void showRefusal(const PulseRefusal& refusal);
    // Shows the window, or brings it to the front when it is already open.
    void bringToFront();

    RetreiveAccountingApp& main() { return main_; }
    // True once the window has been closed: a handler waiting in the event loop returns.
    bool closing() const { return closing_; }

    // Marks a handler as running for as long as it lives; the window is deleted only when no
    // handler of it is on the stack any more.
    class Busy {
      public:
        explicit Busy(FrmSetPulses& window);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

      private:
        FrmSetPulses& window_;
    };

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    QGroupBox* buildGame(int n);
    void wireHandlers();
    void Form_Load();
    // Grows the window towards the size the games need, never shrinking it.
    void fitToGames();

    RetreiveAccountingApp& main_;
    std::unique_ptr<PulseBoard> board_;
    std::unique_ptr<PulseFiles> files_;
    QWidget* games_ = nullptr;
    int buttonsHeight_ = 0;
    int busy_ = 0;
    bool closing_ = false;
};

}  // namespace tarvo
