#include "shell/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <vector>

#include "accounting/cashout_log.h"
#include "accounting/meter_history_view.h"
#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "link/board_link.h"
#include "link/modem_dial.h"
#include "link/receive_path.h"
#include "link/terminal_mode.h"
#include "location_law_clock/location_law_clock.h"
#include "platform/wait.h"
#include "pulse_editor/frm_set_pulses.h"
#include "shell/cd_file.h"
#include "shell/connection.h"
#include "shell/settings.h"
#include "shell/text_room.h"
#include "terminal_config/auto_calibration.h"
#include "terminal_config/parameter_write.h"
#include "terminal_config/terminal_parameters.h"

namespace tarvo {

namespace {

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

template <typename W>
W* named(W* widget, const QString& objectName, const QString& accessibleName) {
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
    return widget;
}

QString terminalSuffix(int n) {
    return QStringLiteral(", Terminal %1").arg(n + 1);
}

QString indexed(const char* name, int n) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(n);
}

// A button that says what it is by its caption gets no fixed accessible name: a screen reader
// then announces the caption in force, also after a handler changes it ("Disconnect").
QPushButton* button(const QString& caption, const QString& objectName) {
    auto* b = new QPushButton(caption);
    b->setObjectName(objectName);
    return b;
}

// On Linux a list box announces its current value, so each one is tied to a caption that
// says which list it is.
QLabel* captionFor(QComboBox* list, const QString& caption) {
    auto* label = new QLabel(caption);
    label->setBuddy(list);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return label;
}

}  // namespace

RetreiveAccountingApp::RetreiveAccountingApp(Platform platform, QWidget* parent)
    : QMainWindow(parent), platform_(std::move(platform)) {
    setObjectName(QStringLiteral("RetreiveAccountingApp"));
    setWindowTitle(QString::fromLatin1(kAppTitle));
    link_ = std::make_unique<BoardLink>(*this);
    receive_ = std::make_unique<ReceivePath>(*this);
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
    meterHistory_ = std::make_unique<MeterHistoryView>(*this);
    startUp();
}

RetreiveAccountingApp::~RetreiveAccountingApp() {
    // The pulse-width window talks to the board through this one.
    delete frmSetPulses_.data();
}

void RetreiveAccountingApp::Command3_Click() {
    FrmSetPulses* pulses = pulseWindow();
    if (!pulses || pulses->closing()) {
        // A top-level window of its own, so both stay usable side by side.
        pulses = new FrmSetPulses(*this);
        frmSetPulses_ = pulses;
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
    dialog.FilterIndex = 0;
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

QWidget* RetreiveAccountingApp::buildTerminalPanel(int n) {
    const QString suffix = terminalSuffix(n);
    auto* frame = new QGroupBox(QStringLiteral("Terminal %1").arg(n + 1));
    frame->setObjectName(indexed("Terminal", n));
    Terminal[n] = frame;
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(2);
    int row = 0;
    // Each box is kept wide enough for the longest value the board reports into it.
    auto addBox = [&](PerTerminal<QLineEdit>& array, const char* name, const QString& label,
                      const QString& longest) {
        auto* edit = named(new QLineEdit, indexed(name, n), label.trimmed() + suffix);
        reserveTextRoom(edit, longest);
        array[n] = edit;
        auto* caption = new QLabel(label);
        caption->setBuddy(edit);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1);
        return row++;
    };
    const QString meter = QStringLiteral("000000000");  // nine digits
    addBox(Status, "Status", QStringLiteral("Status"), QStringLiteral("PLAY"));
    addBox(CoinInA, "CoinInA", QStringLiteral("Coin in A"), meter);
    addBox(CoinInB, "CoinInB", QStringLiteral("Coin in B"), meter);
    addBox(Returned, "Returned", QStringLiteral("Returned"), meter);
    addBox(Received, "Received", QStringLiteral("Received"), meter);
    addBox(PaidOut, "PaidOut", QStringLiteral("Paid Out"), meter);
    // The editors lie exactly over the boxes they edit and take their place while shown.
    auto addEditor = [&](PerTerminal<ParamCombo>& array, const char* name, int onRow,
                         const QString& label) {
        auto* combo = named(new ParamCombo, indexed(name, n), label + suffix);
        combo->setVisible(false);
        array[n] = combo;
        grid->addWidget(combo, onRow, 1);
        // The box keeps its spoken name; the list needs the caption to say which list it is.
        qobject_cast<QLabel*>(grid->itemAtPosition(onRow, 0)->widget())->setBuddy(combo);
    };
    addEditor(cmbPulseValue, "cmbPulseValue",
              addBox(PulseInPerPoint, "PulseInPerPoint", QStringLiteral("Pulse Val"),
                     QStringLiteral("5000")),
              QStringLiteral("Pulse Val"));
    addEditor(cmbPulseMultiplier, "cmbPulseMultiplier",
              addBox(PulseInMultiplier, "PulseInMultiplier", QStringLiteral("Multiplier"),
                     QStringLiteral("1000")),
              QStringLiteral("Multiplier"));
    addEditor(cmbValueIn, "cmbValueIn",
              addBox(ValueIn, "ValueIn", QStringLiteral("Value In"), QStringLiteral("DOLLAR")),
              QStringLiteral("Value In"));
    addBox(PrintMoneyOrPoints, "PrintMoneyOrPoints", QStringLiteral("Print "),
           QStringLiteral("POINTS"));

    auto* write =
        named(new QPushButton(QStringLiteral("Write to Tarvo Board")),
              indexed("cmdWriteToTarvo", n), QStringLiteral("Write to Tarvo Board") + suffix);
    write->setStyleSheet(QStringLiteral("background-color: red;"));
    write->setVisible(false);
    cmdWriteToTarvo[n] = write;
    grid->addWidget(write, row++, 0, 1, 2);

    auto* coin = named(new QPushButton(QStringLiteral("Coin In")), indexed("PutCoinIn", n),
                       QStringLiteral("Coin In") + suffix);
    auto* cashout = named(new QPushButton(QStringLiteral("Cashout")), indexed("ForceCashout", n),
                          QStringLiteral("Cashout") + suffix);
    for (auto* b : {coin, cashout}) {
        b->setVisible(false);
        b->setEnabled(false);
    }
    PutCoinIn[n] = coin;
    ForceCashout[n] = cashout;
    grid->addWidget(coin, row, 0);
    grid->addWidget(cashout, row++, 1);

    auto addMultiplier = [&](PerTerminal<QPushButton>& buttons, PerTerminal<QLineEdit>& boxes,
                             const char* buttonName, const char* boxName, const QString& caption) {
        const QString spoken = caption.simplified();
        auto* b = named(new QPushButton(caption), indexed(buttonName, n), spoken + suffix);
        b->setEnabled(false);
        auto* box = named(new QLineEdit, indexed(boxName, n), spoken + suffix);
        reserveTextRoom(box, QStringLiteral("000"));
        buttons[n] = b;
        boxes[n] = box;
        grid->addWidget(b, row, 0);
        grid->addWidget(box, row++, 1);
    };
    addMultiplier(SendCoinMultiA, TxtCoinInMultiA, "SendCoinMultiA", "TxtCoinInMultiA",
                  n == 0 ? QStringLiteral("In Mult  A") : QStringLiteral("In Mult A"));
    addMultiplier(SendCoinMultiB, TxtCoinInMultiB, "SendCoinMultiB", "TxtCoinInMultiB",
                  QStringLiteral("In Mult B"));
    return frame;
}

QWidget* RetreiveAccountingApp::buildBoardControls() {
    auto* area = new QWidget;
    auto* columns = new QHBoxLayout(area);

    // Interface and target choices.
    auto* choices = new QVBoxLayout;
    Connect = button(QStringLiteral("Connect"), QStringLiteral("Connect"));
    choices->addWidget(Connect);
    COMInterface = named(new QComboBox, QStringLiteral("COMInterface"), QStringLiteral("Com Port"));
    choices->addWidget(captionFor(COMInterface, QStringLiteral("Com Port:")));
    choices->addWidget(COMInterface);
    ButtonDial = new QToolButton;
    ButtonDial->setObjectName(QStringLiteral("ButtonDial"));
    ButtonDial->setText(QStringLiteral("Dial"));
    choices->addWidget(ButtonDial);
    MultiDropAddress = named(new QComboBox, QStringLiteral("MultiDropAddress"),
                             QStringLiteral("Multi-drop address"));
    MultiDropAddress->setEditable(true);
    MultiDropAddress->setInsertPolicy(QComboBox::NoInsert);
    choices->addWidget(captionFor(MultiDropAddress, QStringLiteral("Multi-drop address:")));
    choices->addWidget(MultiDropAddress);
    auto option = [&](const char* name, const QString& caption) {
        auto* o = new QRadioButton(caption);
        o->setObjectName(QString::fromLatin1(name));
        choices->addWidget(o);
        return o;
    };
    Option1 = option("Option1", QStringLiteral("Connected to Brisko"));
    Option2 = option("Option2", QStringLiteral("Tarvo Board System"));
    Option3 = option("Option3", QStringLiteral("Tarvo Board Kit"));
    Option4 = option("Option4", QStringLiteral("Multi Drop"));
    Option1->setChecked(true);
    choices->addStretch();
    columns->addLayout(choices);

    // Status, board displays and the response box.
    auto* middle = new QGridLayout;
    auto lineBox = [&](const char* name, const QString& label, int row, int col) {
        auto* caption = new QLabel(label);
        auto* edit = named(new QLineEdit, QString::fromLatin1(name), label);
        caption->setBuddy(edit);
        middle->addWidget(caption, row, col);
        middle->addWidget(edit, row, col + 1);
        return edit;
    };
    SystemMessage = lineBox("SystemMessage", QStringLiteral("System Message"), 0, 0);
    reserveTextRoom(SystemMessage, QStringLiteral("ERROR! Problems getting data from Tarvo Board"));
    middle->removeWidget(SystemMessage);
    middle->addWidget(SystemMessage, 0, 1, 1, 3);
    Label34 = named(new QLabel(QStringLiteral("Status")), QStringLiteral("Label34"),
                    QStringLiteral("Status"));
    middle->addWidget(Label34, 1, 0);
    PrinterStatus = lineBox("PrinterStatus", QStringLiteral("Printer"), 2, 0);
    PrinterFirmware =
        named(new QLineEdit, QStringLiteral("PrinterFirmware"), QStringLiteral("Printer firmware"));
    middle->addWidget(PrinterFirmware, 2, 2, 1, 2);
    FirmwareVersion = lineBox("FirmwareVersion", QStringLiteral("Firm.Version"), 3, 0);
    TarvoBoardSerialNumber =
        lineBox("TarvoBoardSerialNumber", QStringLiteral("Tarvo Board Serial"), 3, 2);
    // Firmware texts have nine characters and serial numbers eight, of any letters: room for
    // as many of the widest letter.
    reserveTextRoom(PrinterStatus, QStringLiteral("Printer Error"));
    reserveTextRoom(PrinterFirmware, QString(9, QLatin1Char('W')));
    reserveTextRoom(FirmwareVersion, QString(9, QLatin1Char('W')));
    reserveTextRoom(TarvoBoardSerialNumber, QString(8, QLatin1Char('W')));
    ResponseWindow =
        named(new ResponseBox, QStringLiteral("ResponseWindow"), QStringLiteral("Response"));
    middle->addWidget(ResponseWindow, 4, 0, 1, 4);
    middle->setRowStretch(4, 1);
    columns->addLayout(middle, 3);

    // Board commands.
    auto* commands = new QGridLayout;
    cmdViewOnly = button(QStringLiteral("View Info"), QStringLiteral("cmdViewOnly"));
    ButtonViewLastCashout =
        button(QStringLiteral("View Last Cashout"), QStringLiteral("ButtonViewLastCashout"));
    CmdViewLog = button(QStringLiteral("V I EW  LOG"), QStringLiteral("CmdViewLog"));
    CmdViewLog->setAccessibleName(QStringLiteral("View Log"));
    Command1 = button(QStringLiteral("KEY"), QStringLiteral("Command1"));
    Command2 = button(QStringLiteral("Pg Down"), QStringLiteral("Command2"));
    Command3 = button(QStringLiteral("CONF I G"), QStringLiteral("Command3"));
    Command3->setAccessibleName(QStringLiteral("Config"));
    ClearMemory = button(QStringLiteral("Clear Memory"), QStringLiteral("ClearMemory"));
    ButtonSendLocationInfo =
        button(QStringLiteral("Send Location Info"), QStringLiteral("ButtonSendLocationInfo"));
    ButtonSendLawInfo =
        button(QStringLiteral("Send Law Info"), QStringLiteral("ButtonSendLawInfo"));
    ButtonSendTimeAndDate =
        button(QStringLiteral("Send Time and Date"), QStringLiteral("ButtonSendTimeAndDate"));
    ButtonTerminalMode =
        button(QStringLiteral("Enter Terminal Mode"), QStringLiteral("ButtonTerminalMode"));
    CmdAutoCalibrate = button(QStringLiteral("Auto Calibrate"), QStringLiteral("CmdAutoCalibrate"));
    CmdTerminalToCalibrate = named(new QComboBox, QStringLiteral("CmdTerminalToCalibrate"),
                                   QStringLiteral("Terminal to calibrate"));
    CmdTerminalToCalibrate->setEditable(true);
    CmdTerminalToCalibrate->setInsertPolicy(QComboBox::NoInsert);
    int row = 0;
    for (auto* b :
         {cmdViewOnly, ButtonViewLastCashout, ClearMemory, ButtonSendLocationInfo,
          ButtonSendLawInfo, ButtonSendTimeAndDate, ButtonTerminalMode, CmdAutoCalibrate}) {
        b->setEnabled(false);
        commands->addWidget(b, row++, 0);
    }
    commands->addWidget(
        captionFor(CmdTerminalToCalibrate, QStringLiteral("Terminal to calibrate:")), row++, 0);
    commands->addWidget(CmdTerminalToCalibrate, row++, 0);
    commands->setRowStretch(row, 1);
    int narrow = 0;
    for (auto* b : {CmdViewLog, Command1, Command2, Command3}) {
        commands->addWidget(b, narrow++, 1);
    }
    // --- Meter History: its button; opened in shell/history_entry.cpp ---
    cmdHistory = button(QStringLiteral("History"), QStringLiteral("cmdHistory"));
    cmdHistory->setToolTip(QStringLiteral("Meter History (Ctrl+H)"));
    commands->addWidget(cmdHistory, narrow++, 1);
    // --- end of Meter History ---
    columns->addLayout(commands);

    // Location and law lines with their file buttons.
    auto* texts = new QGridLayout;
    // The lines have no length limit and scroll beyond this; a receipt line shows whole.
    const QString kTypedLine(32, QLatin1Char('X'));
    auto fileButton = [&](int i, const QString& spoken, const QString& text) {
        auto* b = named(new QToolButton, indexed("LoadLocationInfo", i), spoken);
        b->setText(text);
        LoadLocationInfo[i] = b;
        return b;
    };
    // Wide enough to read a line of text while typing it; the window grows to fit.
    texts->addWidget(new QLabel(QStringLiteral("Location")), 0, 1);
    for (int i = 0; i < 4; ++i) {
        txtLocationInfo[i] = named(new QLineEdit, indexed("txtLocationInfo", i),
                                   QStringLiteral("Location line %1").arg(i + 1));
        reserveTextRoom(txtLocationInfo[i], kTypedLine);
        texts->addWidget(txtLocationInfo[i], i + 1, 1);
    }
    texts->addWidget(fileButton(0, QStringLiteral("Open location file"), QStringLiteral("Open")), 1,
                     0);
    texts->addWidget(fileButton(1, QStringLiteral("Save location file"), QStringLiteral("Save")), 2,
                     0);
    texts->addWidget(new QLabel(QStringLiteral("Law")), 5, 1);
    for (int i = 0; i < 8; ++i) {
        TxtLawInfo[i] = named(new QLineEdit, indexed("TxtLawInfo", i),
                              QStringLiteral("Law line %1").arg(i + 1));
        reserveTextRoom(TxtLawInfo[i], kTypedLine);
        texts->addWidget(TxtLawInfo[i], i + 6, 1);
    }
    texts->addWidget(fileButton(2, QStringLiteral("Open law file"), QStringLiteral("Open")), 6, 0);
    texts->addWidget(fileButton(3, QStringLiteral("Save law file"), QStringLiteral("Save")), 7, 0);
    columns->addLayout(texts, 2);

    // Tab goes down each column in turn, as the columns read, not in the order of creation.
    std::vector<QWidget*> order{Connect,
                                COMInterface,
                                ButtonDial,
                                MultiDropAddress,
                                Option1,
                                Option2,
                                Option3,
                                Option4,
                                SystemMessage,
                                PrinterStatus,
                                PrinterFirmware,
                                FirmwareVersion,
                                TarvoBoardSerialNumber,
                                ResponseWindow,
                                cmdViewOnly,
                                ButtonViewLastCashout,
                                ClearMemory,
                                ButtonSendLocationInfo,
                                ButtonSendLawInfo,
                                ButtonSendTimeAndDate,
                                ButtonTerminalMode,
                                CmdAutoCalibrate,
                                CmdTerminalToCalibrate,
                                CmdViewLog,
                                Command1,
                                Command2,
                                Command3,
                                LoadLocationInfo[0],
                                LoadLocationInfo[1]};
    order.insert(order.end(), txtLocationInfo.begin(), txtLocationInfo.end());
    order.insert(order.end(), {LoadLocationInfo[2], LoadLocationInfo[3]});
    order.insert(order.end(), TxtLawInfo.begin(), TxtLawInfo.end());
    for (size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    return area;
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
    if (platform_.serial) {
        connect(platform_.serial.get(), &SerialLine::charReceived, this,
                [this](char c) { receive_->MSComm1_OnComm(c); });
        connect(platform_.serial.get(), &SerialLine::breakReceived, this,
                [this] { receive_->onBreak(); });
        connect(platform_.serial.get(), &SerialLine::lineLost, this,
                [this](const QString& reason) { receive_->onLineLost(reason); });
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
    // The fine timer paces the address-bit pause of multi-drop frames; it ticks only while a
    // delay needs it, so an idle window sleeps.
    RealTimer = new QTimer(this);
    RealTimer->setObjectName(QStringLiteral("RealTimer"));
    RealTimer->setTimerType(Qt::PreciseTimer);
    connect(RealTimer, &QTimer::timeout, this, [this] { link_->RealTimer_Timer(); });
    // The receive interpreter starts outside any escape sequence; received text does not yet
    // pull the caret and focus into the response box; keys typed there go to the board.
    Rx.setState(0);
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
    PhoneNumber.clear();
    modemDial_->showNumber();
    // The program version, and the USB library's, in the title so a support call can ask.
    QString title = QString::fromLatin1(kAppTitle) + QStringLiteral(" V1.0.33");
    if (platform_.usb) {
        title += QStringLiteral(" - USB.DLL V%1").arg(platform_.usb->USB_GetVersion());
    }
    setWindowTitle(title);
    // Two coarse timers advance TickCount by two a second; every coarse wait counts these.
    Timer1 = new QTimer(this);
    Timer2 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2->setObjectName(QStringLiteral("Timer2"));
    for (auto* t : {Timer1, Timer2}) {
        t->setInterval(platform_.tickIntervalMs);
        connect(t, &QTimer::timeout, this, &RetreiveAccountingApp::onTick);
        t->start();
    }
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
    AddressBitDelay = stored.addressBitDelay;
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
    writeStoredChoices(*platform_.settings, choices);
}

void RetreiveAccountingApp::onTick() {
    ++TickCount;
    if (TickCount > 32000) {
        TickCount = 0;
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
        for (auto* box : {PulseInPerPoint[i], PulseInMultiplier[i], CoinInA[i], CoinInB[i],
                          PaidOut[i], Returned[i], Status[i], PrintMoneyOrPoints[i], Received[i],
                          ValueIn[i], TxtCoinInMultiA[i], TxtCoinInMultiB[i]}) {
            box->clear();
        }
    }
}

bool RetreiveAccountingApp::waitUntil(const std::function<bool()>& done) {
    const bool finished = wait::until([&] { return closing_ || done(); });
    return finished && !closing_;
}

bool RetreiveAccountingApp::waitTicks(int ticks) {
    TickCount = 0;
    return waitUntil([&] { return TickCount >= ticks; });
}

void RetreiveAccountingApp::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        // Ends any wait a handler is in; the handler returns once this event is done.
        closing_ = true;
        if (Connect->text() == QStringLiteral("Disconnect")) {
            connection_->Connect_Click();
        }
        saveSettings();
        Timer1->stop();
        Timer2->stop();
    }
    event->accept();
}

}  // namespace tarvo
