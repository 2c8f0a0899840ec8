#include "accounting/meter_report_view.h"

#include <QLineEdit>
#include <QPushButton>

#include "session/board_operations.h"
#include "shell/main_window.h"
#include "shell/param_combo.h"
#include "shell/terminal_displays.h"
#include "terminal_config/terminal_parameters.h"

namespace tarvo {

namespace {

void setEdit(ParamCombo* combo, const std::optional<QString>& text) {
    if (text) {
        combo->setText(*text);
    }
}

}  // namespace

MeterReportView::MeterReportView(RetreiveAccountingApp& w) : w_(w) {}

void MeterReportView::cmdViewOnly_Click() {
    if (auto op = w_.beginOperation()) {
        [](MeterReportView* v, [[maybe_unused]] BoardSession::Operation held) -> QCoro::Task<> {
            co_await v->viewInfo();
        }(this, std::move(op));
    }
}

QCoro::Task<> MeterReportView::viewInfo() {
    BoardSession& s = w_.session();
    if (s.refusesAddressZero(QStringLiteral("Cannot read meters with multi drop address of 0"))) {
        co_return;
    }
    w_.SystemMessage->setText(QString());
    last_.reset();
    const bool kit = s.options().target == Target::Kit;
    const board::MeterRead read = co_await board::readMeterReport(
        s, kit, board::ReportEnd::FullWait, [this] { w_.ClearData(); });
    if (read.stopped || w_.closing()) {
        co_return;
    }
    if (read.report) {
        showReport(*read.report);
    } else if (!read.error.isEmpty()) {
        // A refusal (not connected, an address the line cannot carry) says so and stops.
        w_.SystemMessage->setText(read.error);
    }
    for (int i = 0; i < RetreiveAccountingApp::kTerminals; ++i) {
        w_.terminalParameters().ChangeParameters(i);
    }
}

MeterReading MeterReportView::readingHere() const {
    return board::readingAt(w_.linkOptions(), w_.platform().clock());
}

void MeterReportView::showReport(const MeterReport& r) {
    w_.PrinterFirmware->setText(r.printerFirmware);
    w_.PrinterStatus->setText(r.printerStatus);
    w_.SystemMessage->setText(r.systemMessage);
    w_.TarvoBoardSerialNumber->setText(r.serialNumber);
    w_.FirmwareVersion->setText(r.firmwareVersion);
    for (int i = 0; i < RetreiveAccountingApp::kTerminals; ++i) {
        const auto u = static_cast<size_t>(i);
        for (size_t f = 0; f < kTerminalFields.size(); ++f) {
            terminalDisplay(w_, f, i)->setText((r.*kTerminalFields[f].report)[u]);
        }
        setEdit(w_.cmbPulseValue[i], r.pulseValueEdit[u]);
        setEdit(w_.cmbPulseMultiplier[i], r.multiplierEdit[u]);
        setEdit(w_.cmbValueIn[i], r.valueInEdit[u]);
    }
    last_ = board::readingAt(w_.session().options(), w_.platform().clock(), r);
    if (onReading) {
        onReading(*last_);
    }
}

}  // namespace tarvo
