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
#include <memory>

#include "core/rx_interpreter.h"
#include "platform/platform.h"
#include "shell/param_combo.h"
#include "shell/response_box.h"

namespace tarvo {

class BoardLink;
class ReceivePath;
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

// The main window: owns every control and the state its handlers share. The handlers live in
// one class per subsystem (link/, shell/, accounting/, terminal_config/), each holding a
// reference to this window.
class RetreiveAccountingApp : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kTerminals = 6;
    static constexpr int kUsbPosition = 32;
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
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* RealTimer = nullptr;

    // --- Shared state ---
    int16_t Connected = 0;
    bool ExpectReply = false;
    QString PhoneNumber;
    int32_t UsbHandle = 0;
    int32_t AddressBitDelay = 5;
    int16_t TickCount = 0;
    int16_t RxCount = 0;
    int32_t RealTicks = 0;
    bool TerminalModeOn = false;
    bool TerminalView = false;
    RxInterpreter Rx;  // RxState and SpinnerCount

    // --- Window operations ---
    void ClearData();
    bool optionSelected(const QRadioButton* option) const { return option->isChecked(); }
    bool usbChosen() const { return COMInterface->currentIndex() >= kUsbPosition; }
    // Sleeps in the event loop until `done` holds. False when the window is closing: the
    // caller then returns at once.
    bool waitUntil(const std::function<bool()>& done);
    // Waits until TickCount, set to 0 first, reaches `ticks`.
    bool waitTicks(int ticks);
    bool closing() const { return closing_; }
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
    BoardLink& link() { return *link_; }
    ReceivePath& receivePath() { return *receive_; }
    Connection& connection() { return *connection_; }
    TerminalParameters& terminalParameters() { return *terminalParameters_; }
    ParameterWrite& parameterWrite() { return *parameterWrite_; }
    MeterReportView& meterReport() { return *meterReport_; }
    RemoteActions& remoteActions() { return *remoteActions_; }
    CashoutLog& cashoutLog() { return *cashoutLog_; }
    MeterHistoryView& meterHistory() { return *meterHistory_; }
    LocationLawClock& locationLawClock() { return *locationLawClock_; }
    TerminalMode& terminalMode() { return *terminalMode_; }
    ModemDial& modemDial() { return *modemDial_; }
    AutoCalibration& autoCalibration() { return *autoCalibration_; }

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
    void onTick();
    void onOptionSelected(QRadioButton* option);
    // The History button, Ctrl+H and the Meter History window (shell/history_entry.cpp).
    void wireHistoryWindow();

    Platform platform_;
    bool closing_ = false;
    std::unique_ptr<BoardLink> link_;
    std::unique_ptr<ReceivePath> receive_;
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
