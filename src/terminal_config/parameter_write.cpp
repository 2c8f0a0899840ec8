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
        [](ParameterWrite* p, int index,
           [[maybe_unused]] BoardSession::Operation held) -> QCoro::Task<> {
            co_await p->write(index);
        }(this, index, std::move(op));
    }
}

QCoro::Task<> ParameterWrite::write(int index) {
    BoardSession& s = w_.session();
    ParamCombo* pulse = w_.cmbPulseValue[index];
    ParamCombo* multiplier = w_.cmbPulseMultiplier[index];
    ParamCombo* valueIn = w_.cmbValueIn[index];

    if (pulse->text() == QStringLiteral("DIP")) {
        co_await board::writeParametersDip(s, index);
    } else {
        // Typed text that names no list item has no code: sending code 0 in its place would
        // quietly set the terminal to "1".
        if (pulse->listIndex() < 0 || multiplier->listIndex() < 0) {
            w_.platform().prompts->message(
                QStringLiteral("Please choose a pulse value and a multiplier from the lists"),
                MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Write to Tarvo Board"));
            co_return;
        }
        const int range = leadingNumber(multiplier->text()) > 50 ? kMultiplierAbove50 : 0;
        const int cents = valueIn->listIndex() == kCentsPosition ? kValueInCents : 0;
        const int codes = pulse->selectedCode() + multiplier->selectedCode();
        co_await board::writeParameters(s, index, codes, cents | range);
    }
    if (w_.closing()) {
        co_return;
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

    if (s.Connected != 1) {
        co_return;
    }
    // Reconnect and read the report again, so the panel shows what the board now holds.
    co_await w_.connection().disconnectBoard();
    if (w_.closing()) {
        co_return;
    }
    const bool settled = co_await s.waitTicks(2);
    if (!settled) {
        co_return;
    }
    co_await w_.connection().connectBoard();
    if (w_.closing()) {
        co_return;
    }
    const bool settledAgain = co_await s.waitTicks(2);
    if (!settledAgain) {
        co_return;
    }
    if (!s.options().usb() && s.Connected == 1) {
        co_await w_.meterReport().viewInfo();
    }
}

}  // namespace tarvo
