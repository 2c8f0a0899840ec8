#include "terminal_config/parameter_write.h"

#include <QLineEdit>
#include <QPushButton>

#include "accounting/meter_report_view.h"
#include "core/numeric.h"
#include "session/board_operations.h"
#include "shell/connection.h"
#include "shell/main_window.h"
#include "shell/param_combo.h"

namespace tarvo {

namespace {

constexpr int kCentsPosition = 1;
constexpr int kValueInCents = 0x20;
constexpr int kMultiplierAbove50 = 0x01;

}  // namespace

ParameterWrite::ParameterWrite(RetreiveAccountingApp& w) : w_(w) {}

void ParameterWrite::cmdWriteToTarvo_Click(int index) {
    if (auto op = w_.beginOperation()) {
        write(index);
    }
}

void ParameterWrite::write(int index) {
    BoardSession& s = w_.session();
    ParamCombo* pulse = w_.cmbPulseValue[index];
    ParamCombo* multiplier = w_.cmbPulseMultiplier[index];
    ParamCombo* valueIn = w_.cmbValueIn[index];

    if (pulse->text() == QStringLiteral("DIP")) {
        board::writeParametersDip(s, index);
    } else {
        // Typed text that names no list item has no code: sending code 0 in its place would
        // quietly set the terminal to "1".
        if (pulse->listIndex() < 0 || multiplier->listIndex() < 0) {
            w_.platform().prompts->message(
                QStringLiteral("Please choose a pulse value and a multiplier from the lists"),
                MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Write to Tarvo Board"));
            return;
        }
        const int range = leadingNumber(multiplier->text()) > 50 ? kMultiplierAbove50 : 0;
        const int cents = valueIn->listIndex() == kCentsPosition ? kValueInCents : 0;
        const int codes = pulse->selectedCode() + multiplier->selectedCode();
        board::writeParameters(s, index, codes, cents | range);
    }

    const bool usb = w_.usbChosen();
    if (!usb) {
        w_.cmdWriteToTarvo[index]->setVisible(false);
        pulse->setVisible(false);
        multiplier->setVisible(false);
        valueIn->setVisible(false);
    }
    w_.PulseInPerPoint[index]->setText(pulse->text());
    w_.PulseInMultiplier[index]->setText(multiplier->text());
    w_.ValueIn[index]->setText(valueIn->text());

    if (w_.Connect->text() != QStringLiteral("Disconnect")) {
        return;
    }
    // Reconnect and read the report again, so the panel shows what the board now holds.
    w_.connection().disconnectBoard();
    if (w_.closing() || !s.waitTicks(2)) {
        return;
    }
    w_.connection().connectBoard();
    if (w_.closing() || !s.waitTicks(2)) {
        return;
    }
    if (!w_.usbChosen() && s.Connected == 1) {
        w_.meterReport().viewInfo();
    }
}

}  // namespace tarvo
