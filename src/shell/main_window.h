#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "session/board_session.h"
#include "shell/param_combo.h"
#include "shell/response_box.h"

namespace tarvo {

class Connection;
class TerminalParameters;
class ParameterWrite;
class MeterReportView;
class RemoteActions;
class CashoutLog;
class CD_File;
class FrmSetPulses;
class LocationLawClock;
class TerminalMode;
class MeterHistoryView;
class ModemDial;
class AutoCalibration;

// The main window: owns every control and the board session its handlers share. The handlers
// live in one class per subsystem (shell/, accounting/, terminal_config/, ...), each holding a
// reference to this window; the connection itself is the session's.
class RetreiveAccountingApp : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kTerminals = 6;
    static constexpr int kUsbPosition = LinkOptions::kUsbPosition;
    static constexpr const char* kAppTitle = "Tarvo Board Configuration Utility";

    explicit RetreiveAccountingApp(Platform platform, QWidget* parent = nullptr);
    ~RetreiveAccountingApp() override;

    template <typename T>
    using PerTerminal = std::array<T*, kTerminals>;

    // --- Per-terminal controls (index n is terminal n + 1) ---
    PerTerminal<QGroupBox> Terminal{};
    PerTerminal<QLineEdit> Status{}, CoinInA{}, CoinInB{}, Returned{}, Received{}, PaidOut{};
    PerTerminal<QLineEdit> PulseInPerPoint{}, PulseInMultiplier{}, ValueIn{}, PrintMoneyOrPoints{};
    PerTerminal<ParamCombo> cmbPulseValue{}, cmbPulseMultiplier{}, cmbValueIn{};
    PerTerminal<QPushButton> cmdWriteToTarvo{}, PutCoinIn{}, ForceCashout{};
    PerTerminal<QPushButton> SendCoinMultiA{}, SendCoinMultiB{};
    PerTerminal<QLineEdit> TxtCoinInMultiA{}, TxtCoinInMultiB{};

    // --- Board-wide controls ---
    QPushButton* Connect = nullptr;
    QComboBox* COMInterface = nullptr;
    QComboBox* MultiDropAddress = nullptr;
    QRadioButton *Option1 = nullptr, *Option2 = nullptr, *Option3 = nullptr, *Option4 = nullptr;
    QLineEdit* SystemMessage = nullptr;
    ResponseBox* ResponseWindow = nullptr;
    QLabel* Label34 = nullptr;
    QLineEdit *PrinterStatus = nullptr, *PrinterFirmware = nullptr, *FirmwareVersion = nullptr,
              *TarvoBoardSerialNumber = nullptr;
    QPushButton *cmdViewOnly = nullptr, *ButtonViewLastCashout = nullptr, *CmdViewLog = nullptr;
    QPushButton *Command1 = nullptr, *Command2 = nullptr, *Command3 = nullptr;
    QPushButton *ClearMemory = nullptr, *ButtonSendLocationInfo = nullptr,
                *ButtonSendLawInfo = nullptr, *ButtonSendTimeAndDate = nullptr,
                *ButtonTerminalMode = nullptr;
    QToolButton* ButtonDial = nullptr;
    QPushButton* CmdAutoCalibrate = nullptr;
    QComboBox* CmdTerminalToCalibrate = nullptr;
    // The Meter History window's button (also Ctrl+H).
    QPushButton* cmdHistory = nullptr;
    std::array<QLineEdit*, 4> txtLocationInfo{};
    std::array<QLineEdit*, 8> TxtLawInfo{};
    std::array<QToolButton*, 4> LoadLocationInfo{};

    // --- Window state ---
    // Mirrors of the session's terminal mode, which is where it lives.
    bool TerminalModeOn = false;
    bool TerminalView = false;

    // --- Window operations ---
    void ClearData();
    bool optionSelected(const QRadioButton* option) const { return option->isChecked(); }
    bool usbChosen() const { return COMInterface->currentIndex() >= kUsbPosition; }
    // The interface, target and address the controls choose.
    LinkOptions linkOptions() const;
    // True while the window is closing or the running operation was stopped: a handler
    // returns at once without touching its controls further.
    bool closing() const { return closing_ || session_->stopping(); }
    // Starts a board operation for a handler: refused (empty) while another one runs. The
    // link the controls choose is read here, once, for the whole operation.
    BoardSession::Operation beginOperation();
    // Works out every control's state from the session's (connected, connecting, dialling,
    // busy, terminal mode): the one place that enables or disables a board command or a
    // link choice.
    void updateControls();
    // Prepares the shared dialog module for this window and shows the dialog that the title
    // set by the caller asks for ("Open File" opens, any other title saves). Returns the
    // chosen path, or "" when nothing was chosen.
    QString subOpenFile();
    CD_File& cdFile() { return *cdFile_; }
    // Opens the pulse-width window beside this one, or brings the open one to the front.
    void Command3_Click();
    // The open pulse-width window, if any.
    FrmSetPulses* pulseWindow() const;
    // Opens the Meter History window on the board read last, or brings the open one forward.
    void cmdHistory_Click();
    QWidget* historyWindow() const { return historyWindow_.data(); }

    Platform& platform() { return platform_; }
    BoardSession& session() { return *session_; }
    Connection& connection() { return *connection_; }
    TerminalParameters& terminalParameters() { return *terminalParameters_; }
    ParameterWrite& parameterWrite() { return *parameterWrite_; }
    MeterReportView& meterReport() { return *meterReport_; }
    RemoteActions& remoteActions() { return *remoteActions_; }
    CashoutLog& cashoutLog() { return *cashoutLog_; }
    MeterHistoryView& meterHistory() { return *meterHistory_; }
    LocationLawClock& locationLawClock() { return *locationLawClock_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildControls();
    QWidget* buildTerminalPanel(int n);
    QWidget* buildBoardControls();
    void fillLists();
    void startUp();
    void restoreSettings();
    void saveSettings();
    void wireHandlers();
    void wireSession();
    void onOptionSelected(QRadioButton* option);
    // The History button, Ctrl+H and the Meter History window (shell/history_entry.cpp).
    void wireHistoryWindow();

    Platform platform_;
    bool closing_ = false;
    bool saved_ = false;
    BoardSession* session_ = nullptr;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<TerminalParameters> terminalParameters_;
    std::unique_ptr<ParameterWrite> parameterWrite_;
    std::unique_ptr<MeterReportView> meterReport_;
    std::unique_ptr<RemoteActions> remoteActions_;
    std::unique_ptr<CashoutLog> cashoutLog_;
    std::unique_ptr<CD_File> cdFile_;
    QPointer<QWidget> frmSetPulses_;
    QPointer<QWidget> historyWindow_;
    std::unique_ptr<LocationLawClock> locationLawClock_;
    std::unique_ptr<TerminalMode> terminalMode_;
    std::unique_ptr<MeterHistoryView> meterHistory_;
    std::unique_ptr<ModemDial> modemDial_;
    std::unique_ptr<AutoCalibration> autoCalibration_;
};

}  // namespace tarvo
