#include "shell/modem_dial.h"

#include "core/modem.h"
#include "shell/main_window.h"

namespace tarvo {

ModemDial::ModemDial(RetreiveAccountingApp& w) : w_(w) {}

void ModemDial::ButtonDial_Click() {
    const QString typed =
        w_.platform().prompts->input(QStringLiteral("Please Enter Phone Number to Dial"),
                                     QStringLiteral("Phone Number"), QString());
    const auto number = dialableNumber(typed);
    if (!number) {
        // A CR or ";" would end or change the modem command, and a letter is no digit: the
        // number is refused rather than dialled wrong, and the previous choice stays.
        w_.platform().prompts->message(
            QStringLiteral("A phone number may hold digits, blanks, dashes, dots, brackets "
                           "and + * # , only"),
            MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Phone Number"));
        return;
    }
    w_.session().PhoneNumber = *number;
    showNumber();
}

void ModemDial::showNumber() {
    w_.ButtonDial->setToolTip(
        w_.session().PhoneNumber.isEmpty()
            ? QStringLiteral("No number: the next connect uses the line directly")
            : QStringLiteral("The next connect dials %1").arg(w_.session().PhoneNumber));
}

}  // namespace tarvo
