#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <vector>

#include "shell/main_window.h"
#include "shell/text_room.h"

// The controls of the main window: the six terminal panels and the board area beside them.

namespace tarvo {

namespace {

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
    // The Meter History window's button; it opens in shell/history_entry.cpp.
    cmdHistory = button(QStringLiteral("History"), QStringLiteral("cmdHistory"));
    cmdHistory->setToolTip(QStringLiteral("Meter History (Ctrl+H)"));
    commands->addWidget(cmdHistory, narrow++, 1);
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

}  // namespace tarvo
