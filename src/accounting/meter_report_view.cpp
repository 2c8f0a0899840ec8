#include "accounting/meter_report_view.h"

#include <QLineEdit>
#include <QPushButton>

#include "core/frames.h"
#include "core/meter_report.h"
#include "link/board_link.h"
#include "shell/main_window.h"
#include "shell/param_combo.h"
#include "terminal_config/terminal_parameters.h"

namespace tarvo {

namespace {

constexpr int kReportLength = 1300;    // a full report has at least this many characters
constexpr int kShortestReport = 1200;  // fewer than this is no report at all
constexpr int kReportWaitTicks = 15;

void setEdit(ParamCombo* combo, const std::optional<QString>& text) {
    if (text) {
        combo->setText(*text);
    }
}

}  // namespace

MeterReportView::MeterReportView(RetreiveAccountingApp& w) : w_(w) {}

void MeterReportView::cmdViewOnly_Click() {
    if (w_.link().refusesAddressZero(
            QStringLiteral("Cannot read meters with multi drop address of 0"))) {
        return;
    }
    w_.cmdViewOnly->setEnabled(false);
    w_.SystemMessage->setText(QString());
    w_.ResponseWindow->clearText();
    w_.RxCount = 0;

    // The enquiry goes without a target prefix; only the meter request is announced.
    w_.ExpectReply = true;
    w_.link().sendPieces(frames::enquiry());
    w_.ExpectReply = false;
    const frames::Command request = frames::meterRequest();
    w_.link().sendPrefixFor(request);
    w_.ExpectReply = true;
    w_.link().sendPieces(request);

    if (w_.Connected == 1) {
        ParseMeterReport();
    }
    if (w_.closing()) {
        return;
    }
    for (int i = 0; i < RetreiveAccountingApp::kTerminals; ++i) {
        w_.terminalParameters().ChangeParameters(i);
    }
    w_.cmdViewOnly->setEnabled(true);
}

MeterReading MeterReportView::readingHere() const {
    MeterReading here;
    here.time = w_.platform().clock();
    here.port = w_.COMInterface->currentText();
    if (w_.optionSelected(w_.Option4)) {
        bool ok = false;
        const int address = w_.MultiDropAddress->currentText().trimmed().toInt(&ok);
        if (ok) {
            here.address = address;
        }
    }
    return here;
}

void MeterReportView::ParseMeterReport() {
    const bool kit = w_.optionSelected(w_.Option3);
    w_.ClearData();
    last_.reset();

    w_.TickCount = 0;
    if (!w_.waitUntil(
            [this] { return w_.RxCount >= kReportLength || w_.TickCount >= kReportWaitTicks; })) {
        return;
    }
    if (w_.RxCount < kShortestReport) {
        w_.SystemMessage->setText(QStringLiteral("ERROR! Problems getting data from Tarvo Board"));
        return;
    }
    // Always waited in full: the board may still be printing the tail of the report.
    if (!w_.waitTicks(kReportWaitTicks)) {
        return;
    }
    const int limit = w_.RxCount;
    const MeterReport r = scanMeterReport(w_.ResponseWindow->text(), limit, kit);

    w_.PrinterFirmware->setText(r.printerFirmware);
    w_.PrinterStatus->setText(r.printerStatus);
    w_.SystemMessage->setText(r.systemMessage);
    w_.TarvoBoardSerialNumber->setText(r.serialNumber);
    w_.FirmwareVersion->setText(r.firmwareVersion);
    for (int i = 0; i < RetreiveAccountingApp::kTerminals; ++i) {
        const auto u = static_cast<size_t>(i);
        w_.PulseInPerPoint[i]->setText(r.pulseInPerPoint[u]);
        w_.PulseInMultiplier[i]->setText(r.pulseInMultiplier[u]);
        w_.PrintMoneyOrPoints[i]->setText(r.printMoneyOrPoints[u]);
        w_.ValueIn[i]->setText(r.valueIn[u]);
        w_.TxtCoinInMultiA[i]->setText(r.coinInMultiA[u]);
        w_.TxtCoinInMultiB[i]->setText(r.coinInMultiB[u]);
        w_.Status[i]->setText(r.status[u]);
        w_.Received[i]->setText(r.received[u]);
        w_.Returned[i]->setText(r.returned[u]);
        w_.PaidOut[i]->setText(r.paidOut[u]);
        w_.CoinInA[i]->setText(r.coinInA[u]);
        w_.CoinInB[i]->setText(r.coinInB[u]);
        setEdit(w_.cmbPulseValue[i], r.pulseValueEdit[u]);
        setEdit(w_.cmbPulseMultiplier[i], r.multiplierEdit[u]);
        setEdit(w_.cmbValueIn[i], r.valueInEdit[u]);
    }

    MeterReading reading = readingFromReport(r, kit);
    const MeterReading here = readingHere();
    reading.time = here.time;
    reading.port = here.port;
    reading.address = here.address;
    last_ = reading;
    if (onReading) {
        onReading(reading);
    }
}

}  // namespace tarvo
