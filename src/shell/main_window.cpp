#include "shell/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "accounting/cashout_log.h"
#include "accounting/meter_history_view.h"
#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "location_law_clock/location_law_clock.h"
#include "pulse_editor/frm_set_pulses.h"
#include "session/stored_choices.h"
#include "shell/cd_file.h"
#include "shell/connection.h"
#include "shell/modem_dial.h"
#include "shell/terminal_displays.h"
#include "shell/terminal_mode.h"
#include "shell/text_room.h"
#include "terminal_config/auto_calibration.h"
#include "terminal_config/parameter_write.h"
#include "terminal_config/terminal_parameters.h"

namespace tarvo {

namespace {

// How long a closed window lets the session finish the command on the wire and close.
constexpr int kCloseLimitMs = 1500;

// Twips are 1/1440 inch; at 96 dpi that is 15 twips a pixel.
constexpr int twips(int t) {
    return t / 15;
}

// A window size within the free area of the window's screen.
QSize onScreen(const QWidget& window, QSize wanted) {
    if (const QScreen* screen = window.screen()) {
        wanted = wanted.boundedTo(screen->availableGeometry().size());
    }
    return wanted;
}

}  // namespace

RetreiveAccountingApp::RetreiveAccountingApp(Platform platform, QWidget* parent)
    : QMainWindow(parent), platform_(std::move(platform)) {
    setObjectName(QStringLiteral("RetreiveAccountingApp"));
    setWindowTitle(QString::fromLatin1(kAppTitle));
    session_ = new BoardSession(
        {platform_.serial, platform_.usb, platform_.prompts, platform_.tickIntervalMs}, this);
    connection_ = std::make_unique<Connection>(*this);
    terminalParameters_ = std::make_unique<TerminalParameters>(*this);
    parameterWrite_ = std::make_unique<ParameterWrite>(*this);
    meterReport_ = std::make_unique<MeterReportView>(*this);
    remoteActions_ = std::make_unique<RemoteActions>(*this);
    cashoutLog_ = std::make_unique<CashoutLog>(*this);
    cdFile_ = std::make_unique<CD_File>(platform_.files);
    locationLawClock_ = std::make_unique<LocationLawClock>(*this);
    terminalMode_ = std::make_unique<TerminalMode>(*this);
    modemDial_ = std::make_unique<ModemDial>(*this);
    autoCalibration_ = std::make_unique<AutoCalibration>(*this);
    buildControls();
    wireHandlers();
    wireSession();
    meterHistory_ = std::make_unique<MeterHistoryView>(*this);
    startUp();
}

RetreiveAccountingApp::~RetreiveAccountingApp() {
    closing_ = true;
    // The operation under way unwinds here, while every control it may touch still exists.
    session_->shutDown();
    // The pulse-width window talks to the board through this one.
    delete frmSetPulses_.data();
}

void RetreiveAccountingApp::Command3_Click() {
    FrmSetPulses* pulses = pulseWindow();
    if (!pulses || pulses->closing()) {
        // A top-level window of its own, so both stay usable side by side.
        pulses = new FrmSetPulses(*this);
        frmSetPulses_ = pulses;
        // Its READ and WRITE follow the same state as every other board command.
        updateControls();
    }
    pulses->bringToFront();
}

FrmSetPulses* RetreiveAccountingApp::pulseWindow() const {
    return static_cast<FrmSetPulses*>(frmSetPulses_.data());
}

QString RetreiveAccountingApp::subOpenFile() {
    CD_File& dialog = *cdFile_;
    dialog.OwnerWindow = this;
    dialog.CancelError = true;
    dialog.FileName.clear();
    dialog.Flags = CD_File::kFileMustExist | CD_File::kHideReadOnly;
    const int error =
        dialog.DialogTitle == QLatin1String("Open File") ? dialog.ShowOpen() : dialog.ShowSave();
    return error == 0 ? dialog.FileName : QString();
}

// ---------------------------------------------------------------------------------------------
// Controls

void RetreiveAccountingApp::buildControls() {
    auto* central = new QWidget;
    auto* outer = new QVBoxLayout(central);
    auto* panels = new QHBoxLayout;
    for (int n = 0; n < kTerminals; ++n) {
        panels->addWidget(buildTerminalPanel(n));
    }
    outer->addLayout(panels);
    outer->addWidget(buildBoardControls(), 1);
    // With large fonts or a small screen the controls scroll rather than leave the screen.
    auto* scroll = new QScrollArea;
    scroll->setWidget(central);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    setCentralWidget(scroll);
    // Controls that appear later (after a connect) widen the window, as far as the screen.
    central->installEventFilter(this);
    resize(
        onScreen(*this, {std::max(twips(11745), central->minimumSizeHint().width()), twips(9120)}));
}

void RetreiveAccountingApp::wireHandlers() {
    wireHistoryWindow();  // Meter History: shell/history_entry.cpp
    connect(Connect, &QPushButton::clicked, this, [this] { connection_->Connect_Click(); });
    for (auto* option : {Option1, Option2, Option3, Option4}) {
        connect(option, &QRadioButton::toggled, this, [this, option](bool on) {
            if (on) {
                onOptionSelected(option);
            }
        });
    }
    connect(COMInterface, &QComboBox::currentIndexChanged, this, [this](int index) {
        COMInterface->setToolTip(index >= 0 && index < kUsbPosition && platform_.serial
                                     ? platform_.serial->devicePath(index + 1)
                                     : QString());
    });
    connect(cmdViewOnly, &QPushButton::clicked, this,
            [this] { meterReport_->cmdViewOnly_Click(); });
    connect(ButtonViewLastCashout, &QPushButton::clicked, this,
            [this] { cashoutLog_->ButtonViewLastCashout_Click(); });
    connect(CmdViewLog, &QPushButton::clicked, this, [this] { cashoutLog_->CmdViewLog_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { cashoutLog_->Command1_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(ClearMemory, &QPushButton::clicked, this,
            [this] { remoteActions_->ClearMemory_Click(); });
    connect(ButtonSendLocationInfo, &QPushButton::clicked, this,
            [this] { locationLawClock_->ButtonSendLocationInfo_Click(); });
    connect(ButtonSendLawInfo, &QPushButton::clicked, this,
            [this] { locationLawClock_->ButtonSendLawInfo_Click(); });
    connect(ButtonSendTimeAndDate, &QPushButton::clicked, this,
            [this] { locationLawClock_->ButtonSendTimeAndDate_Click(); });
    for (int i = 0; i < 4; ++i) {
        connect(LoadLocationInfo[i], &QToolButton::clicked, this,
                [this, i] { locationLawClock_->LoadLocationInfo_Click(i); });
    }
    connect(ButtonTerminalMode, &QPushButton::clicked, this,
            [this] { terminalMode_->ButtonTerminalMode_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { terminalMode_->Command2_Click(); });
    ResponseWindow->installEventFilter(this);
    ResponseWindow->onPaste = [this](const QString& text) {
        return terminalMode_->ResponseWindow_Paste(text);
    };
    connect(ButtonDial, &QToolButton::clicked, this, [this] { modemDial_->ButtonDial_Click(); });
    connect(CmdAutoCalibrate, &QPushButton::clicked, this,
            [this] { autoCalibration_->CmdAutoCalibrate_Click(); });
    for (int n = 0; n < kTerminals; ++n) {
        connect(PutCoinIn[n], &QPushButton::clicked, this,
                [this, n] { remoteActions_->PutCoinIn_Click(n); });
        connect(ForceCashout[n], &QPushButton::clicked, this,
                [this, n] { remoteActions_->ForceCashout_Click(n); });
        connect(SendCoinMultiA[n], &QPushButton::clicked, this,
                [this, n] { remoteActions_->SendCoinMultiA_Click(n); });
        connect(SendCoinMultiB[n], &QPushButton::clicked, this,
                [this, n] { remoteActions_->SendCoinMultiB_Click(n); });
        connect(TxtCoinInMultiA[n], &QLineEdit::textChanged, this,
                [this, n] { remoteActions_->TxtCoinInMultiA_Change(n); });
        connect(TxtCoinInMultiB[n], &QLineEdit::textChanged, this,
                [this, n] { remoteActions_->TxtCoinInMultiB_Change(n); });
        connect(cmdWriteToTarvo[n], &QPushButton::clicked, this,
                [this, n] { parameterWrite_->cmdWriteToTarvo_Click(n); });
        connect(cmbPulseValue[n], &ParamCombo::textChanged, this,
                [this, n] { terminalParameters_->cmbPulseValue_Change(n); });
        connect(cmbPulseMultiplier[n], &ParamCombo::textChanged, this,
                [this, n] { terminalParameters_->cmbPulseMultiplier_Change(n); });
        connect(cmbValueIn[n], &ParamCombo::textChanged, this,
                [this, n] { terminalParameters_->cmbValueIn_Change(n); });
        // A click into a reported value opens the panel's editors.
        for (auto* box : {PulseInPerPoint[n], PulseInMultiplier[n], ValueIn[n]}) {
            box->installEventFilter(this);
        }
    }
}

bool RetreiveAccountingApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LayoutRequest && centralWidget() &&
        watched == static_cast<QScrollArea*>(centralWidget())->widget()) {
        const QSize wanted = static_cast<QWidget*>(watched)->minimumSizeHint();
        resize(onScreen(*this, size().expandedTo(wanted)).expandedTo(size()));
    }
    // A key that went to the board is not typed into the box: the board's echo shows it.
    if (watched == ResponseWindow && event->type() == QEvent::KeyPress) {
        if (terminalMode_->ResponseWindow_KeyPress(*static_cast<QKeyEvent*>(event))) {
            return true;
        }
    } else if (watched == ResponseWindow && event->type() == QEvent::InputMethod) {
        if (terminalMode_->ResponseWindow_InputMethod(
                static_cast<QInputMethodEvent*>(event)->commitString())) {
            return true;
        }
    }
    // Enter in a reported box does what a click does, so the editors open from the keyboard.
    const bool enter = event->type() == QEvent::KeyPress &&
                       (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
    if (event->type() == QEvent::MouseButtonPress || enter) {
        for (int n = 0; n < kTerminals; ++n) {
            if (watched == PulseInPerPoint[n]) {
                terminalParameters_->PulseInPerPoint_Click(n);
            } else if (watched == PulseInMultiplier[n]) {
                terminalParameters_->PulseInMultiplier_Click(n);
            } else if (watched == ValueIn[n]) {
                terminalParameters_->ValueIn_Click(n);
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Start-up, ticks and shut-down

void RetreiveAccountingApp::fillLists() {
    static const char* const kPulseValues[] = {
        "1",  "2",   "4",   "5",   "8",   "10",  "15",  "20",   "25",   "40",   "50",
        "75", "100", "150", "200", "250", "400", "500", "1000", "2000", "2500", "5000"};
    static const char* const kMultipliers[] = {"1",   "2",   "5",   "10",  "15",  "20",
                                               "25",  "50",  "75",  "100", "150", "200",
                                               "250", "400", "500", "1000"};
    for (int n = 0; n < kTerminals; ++n) {
        for (int i = 0; i < 22; ++i) {
            cmbPulseValue[n]->addCodedItem(QString::fromLatin1(kPulseValues[i]), i);
        }
        cmbPulseValue[n]->addCodedItem(QStringLiteral("DIP"), 0);
        for (int i = 0; i < 16; ++i) {
            // The list position's low three bits in bits 5..7; the fourth bit travels as the
            // separate range bit of the write.
            cmbPulseMultiplier[n]->addCodedItem(QString::fromLatin1(kMultipliers[i]), (i % 8) * 32);
        }
        cmbValueIn[n]->addCodedItem(QStringLiteral("DOLLAR"), 0);
        cmbValueIn[n]->addCodedItem(QStringLiteral("CENTS"), 1);
    }
}

void RetreiveAccountingApp::startUp() {
    // The receive interpreter starts outside any escape sequence; received text does not yet
    // pull the caret and focus into the response box; keys typed there go to the board.
    session_->Rx.setState(0);
    TerminalView = false;
    // Off, like TerminalView: the first press enters, and no key goes out before it.
    TerminalModeOn = false;
    // The outer height of the design, unless the controls need more.
    const QWidget* controls = static_cast<QScrollArea*>(centralWidget())->widget();
    resize(onScreen(*this, {width(), std::max(twips(9120), controls->minimumSizeHint().height())}));
    // Buttons that the window shows for every target; the board decides what they can do.
    for (auto* b :
         {static_cast<QWidget*>(ButtonTerminalMode), static_cast<QWidget*>(ButtonViewLastCashout),
          static_cast<QWidget*>(ButtonSendLawInfo), static_cast<QWidget*>(ButtonSendLocationInfo),
          static_cast<QWidget*>(ButtonSendTimeAndDate)}) {
        b->setVisible(true);
    }
    for (int n = 0; n < kTerminals; ++n) {
        ForceCashout[n]->setVisible(true);
        PutCoinIn[n]->setVisible(true);
    }
    // The parameter editors' items, each with the code a write sends for it.
    fillLists();
    // Serial ports by number, then USB: the list position is what the settings store keeps.
    for (int port = 1; port <= 32; ++port) {
        COMInterface->addItem(QStringLiteral("Com%1").arg(port));
    }
    COMInterface->addItem(QStringLiteral("USB"));
    // No terminal is chosen for calibration until the user picks one.
    for (int n = 1; n <= kTerminals; ++n) {
        CmdTerminalToCalibrate->addItem(QStringLiteral("Terminal %1").arg(n));
    }
    CmdTerminalToCalibrate->addItem(QStringLiteral("All Terminals"));
    CmdTerminalToCalibrate->setCurrentIndex(-1);
    // Multi-drop addresses 0 to 33; filled before the stored choices are restored, since the
    // stored address is a position in this list.
    for (int a = 0; a <= 33; ++a) {
        MultiDropAddress->addItem(QStringLiteral(" %1").arg(a));
    }
    // The user's choices from the last run: interface, location and law lines, target system,
    // address-bit delay and multi-drop address.
    restoreSettings();
    // No number has been dialled yet.
    session_->PhoneNumber.clear();
    modemDial_->showNumber();
    // The program version, and the USB library's, in the title so a support call can ask.
    QString title = QString::fromLatin1(kAppTitle) + QStringLiteral(" V1.0.33");
    if (platform_.usb) {
        title += QStringLiteral(" - USB.DLL V%1").arg(platform_.usb->USB_GetVersion());
    }
    setWindowTitle(title);
}

void RetreiveAccountingApp::restoreSettings() {
    const StoredChoices stored = readStoredChoices(*platform_.settings);
    COMInterface->setCurrentIndex(stored.interfacePosition);
    for (int i = 0; i < 4; ++i) {
        txtLocationInfo[i]->setText(stored.locationInfo[i]);
    }
    for (int i = 0; i < 8; ++i) {
        TxtLawInfo[i]->setText(stored.lawInfo[i]);
    }
    // In this order: the last one selected wins.
    const std::array<QRadioButton*, 4> options{Option1, Option2, Option3, Option4};
    for (int i = 0; i < 4; ++i) {
        if (stored.targets[i]) {
            options[i]->setChecked(true);
        }
    }
    session_->AddressBitDelay = stored.addressBitDelay;
    MultiDropAddress->setCurrentIndex(stored.multiDropPosition);
}

void RetreiveAccountingApp::saveSettings() {
    StoredChoices choices;
    choices.interfacePosition = COMInterface->currentIndex();
    for (int i = 0; i < 4; ++i) {
        choices.locationInfo[i] = txtLocationInfo[i]->text();
    }
    for (int i = 0; i < 8; ++i) {
        choices.lawInfo[i] = TxtLawInfo[i]->text();
    }
    choices.targets = {Option1->isChecked(), Option2->isChecked(), Option3->isChecked(),
                       Option4->isChecked()};
    choices.multiDropPosition = MultiDropAddress->currentIndex();
    const QString error = writeStoredChoices(*platform_.settings, choices);
    if (!error.isEmpty()) {
        platform_.prompts->message(QStringLiteral("Could not save the settings to %1").arg(error),
                                   MsgButtons::Ok, MsgIcon::Exclamation, QString());
    }
}

void RetreiveAccountingApp::onOptionSelected(QRadioButton* option) {
    // A kit has only terminal 1; the first frame is never touched.
    if (option == Option1 || option == Option2 || option == Option3) {
        const bool enable = option != Option3;
        for (int n = 1; n < kTerminals; ++n) {
            Terminal[n]->setEnabled(enable);
        }
    }
}

void RetreiveAccountingApp::ClearData() {
    for (auto* box :
         {TarvoBoardSerialNumber, FirmwareVersion, PrinterFirmware, PrinterStatus, SystemMessage}) {
        box->clear();
    }
    for (int i = 0; i < kTerminals; ++i) {
        for (size_t f = 0; f < kTerminalFields.size(); ++f) {
            terminalDisplay(*this, f, i)->clear();
        }
    }
}

LinkOptions RetreiveAccountingApp::linkOptions() const {
    LinkOptions options;
    options.interfacePosition = COMInterface->currentIndex();
    const std::array<QRadioButton*, 4> targets{Option1, Option2, Option3, Option4};
    for (int i = 0; i < 4; ++i) {
        if (targets[i]->isChecked()) {
            options.target = static_cast<Target>(i);
        }
    }
    options.multiDropAddress = MultiDropAddress->currentText();
    return options;
}

void RetreiveAccountingApp::wireSession() {
    BoardSession* s = session_;
    connect(s, &BoardSession::textCleared, ResponseWindow, &ResponseBox::clearText);
    connect(s, &BoardSession::textAppended, ResponseWindow, &ResponseBox::appendText);
    connect(s, &BoardSession::statusMessage, SystemMessage, &QLineEdit::setText);
    connect(s, &BoardSession::characterHandled, this, [this] {
        if (TerminalView) {
            ResponseWindow->moveCaretToEnd();
            ResponseWindow->setFocus();
        }
    });
    connect(s, &BoardSession::lineLost, this, [this] { connection_->lineLost(); });
    connect(s, &BoardSession::stateChanged, this, &RetreiveAccountingApp::updateControls);
    updateControls();
}

void RetreiveAccountingApp::updateControls() {
    const BoardSession& s = *session_;
    const BoardSession::LinkState link = s.linkState();
    const bool connected = link == BoardSession::LinkState::Connected;
    const bool idle = !s.busy() && !closing_;
    // Commands that need the board; the rest answer "PLEASE CONNECT FIRST" when disconnected.
    std::vector<QWidget*> needBoard{
        cmdViewOnly,        ButtonViewLastCashout,  ClearMemory,
        ButtonSendLawInfo,  ButtonSendLocationInfo, ButtonSendTimeAndDate,
        ButtonTerminalMode, CmdAutoCalibrate};
    std::vector<QWidget*> anyTime{CmdViewLog, Command1};
    for (int n = 0; n < kTerminals; ++n) {
        needBoard.insert(needBoard.end(),
                         {PutCoinIn[n], ForceCashout[n], SendCoinMultiA[n], SendCoinMultiB[n]});
        anyTime.push_back(cmdWriteToTarvo[n]);
    }
    // A file dialog's own loop would run beside the operation and change what it sends.
    std::vector<QWidget*> fileDialogs(LoadLocationInfo.begin(), LoadLocationInfo.end());
    if (const FrmSetPulses* pulses = pulseWindow()) {
        needBoard.insert(needBoard.end(), {pulses->CmdRead, pulses->CmdWrite});
        fileDialogs.insert(fileDialogs.end(), pulses->CmdLoadGame.begin(),
                           pulses->CmdLoadGame.end());
        fileDialogs.insert(fileDialogs.end(), pulses->CmdSaveGame.begin(),
                           pulses->CmdSaveGame.end());
        fileDialogs.insert(fileDialogs.end(),
                           {pulses->CmdCreateBix, pulses->CmdLoad, pulses->CmdSave});
    }
    for (QWidget* command : needBoard) {
        command->setEnabled(idle && connected);
    }
    for (QWidget* chooser : fileDialogs) {
        chooser->setEnabled(idle);
    }
    const bool settled = connected || link == BoardSession::LinkState::Disconnected;
    for (QWidget* command : anyTime) {
        command->setEnabled(idle && settled);
    }
    // The link an operation reads when it begins changes only while nothing uses it.
    const bool linkFree = link == BoardSession::LinkState::Disconnected && idle;
    for (QWidget* choice : {static_cast<QWidget*>(COMInterface), static_cast<QWidget*>(Option1),
                            static_cast<QWidget*>(Option2), static_cast<QWidget*>(Option3),
                            static_cast<QWidget*>(Option4), static_cast<QWidget*>(MultiDropAddress),
                            static_cast<QWidget*>(ButtonDial)}) {
        choice->setEnabled(linkFree);
    }
    connection_->showState();
    // Terminal mode lives in the session and ends with the connection.
    if (TerminalModeOn != s.terminalMode()) {
        TerminalModeOn = s.terminalMode();
        TerminalView = TerminalModeOn;
    }
    const QString caption = TerminalModeOn ? QStringLiteral("Exit Terminal Mode")
                                           : QStringLiteral("Enter Terminal Mode");
    if (ButtonTerminalMode->text() != caption) {
        ButtonTerminalMode->setText(caption);
        // A screen reader says what the button now does.
        ButtonTerminalMode->setAccessibleName(caption);
    }
    // A window closed during an operation goes once the operation has ended.
    if (closing_ && !s.busy() && !s.shuttingDown()) {
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

BoardSession::Operation RetreiveAccountingApp::beginOperation() {
    if (closing_) {
        return {};
    }
    return session_->begin(linkOptions());
}

void RetreiveAccountingApp::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        // The pulse-width window works through this one and goes with it.
        if (FrmSetPulses* pulses = pulseWindow()) {
            pulses->close();
        }
        // The command on the wire is finished, then the session is closed; a window that is
        // gone from the screen waits for that at most kCloseLimitMs, then ends every wait.
        connection_->closeForGood();
        if (session_->busy()) {
            hide();
            QTimer::singleShot(kCloseLimitMs, this, [this] {
                session_->shutDown();
                close();
            });
            event->ignore();
            return;
        }
    } else if (session_->busy() && !session_->shuttingDown()) {
        event->ignore();
        return;
    }
    session_->shutDown();
    // Written once the port is closed: the choices are saved with nothing left on the line.
    if (!std::exchange(saved_, true)) {
        saveSettings();
    }
    event->accept();
}

}  // namespace tarvo
