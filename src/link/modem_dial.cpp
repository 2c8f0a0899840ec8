#include "link/modem_dial.h"

#include "core/frames.h"
#include "core/modem.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {
constexpr int kDialSettleTicks = 3;
constexpr int kAnswerTicks = 60;
}  // namespace

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
    w_.PhoneNumber = *number;
    showNumber();
}

void ModemDial::showNumber() {
    w_.ButtonDial->setToolTip(
        w_.PhoneNumber.isEmpty()
            ? QStringLiteral("No number: the next connect uses the line directly")
            : QStringLiteral("The next connect dials %1").arg(w_.PhoneNumber));
}

bool ModemDial::dial() {
    failure_.clear();
    // Raw on the port: the modem is not the board, so no framing and no address bytes.
    w_.platform().serial->write(frames::dialString(w_.PhoneNumber));
    if (!w_.waitTicks(kDialSettleTicks)) {
        failure_ = QString::fromLatin1(kModemNoAnswer);
        return false;
    }
    const QString word = WaitForConnect();
    if (word == QLatin1String(kModemSuccess)) {
        return true;
    }
    failure_ = word;
    return false;
}

QString ModemDial::WaitForConnect() {
    w_.RxCount = 0;
    w_.TickCount = 0;
    w_.ResponseWindow->clearText();
    for (;;) {
        if (w_.TickCount >= kAnswerTicks) {
            return QString::fromLatin1(kModemNoAnswer);
        }
        const int16_t received = w_.RxCount;
        const int16_t ticks = w_.TickCount;
        if (!w_.waitUntil([&] { return w_.RxCount != received || w_.TickCount != ticks; })) {
            return QString::fromLatin1(kModemNoAnswer);  // the window is closing
        }
        if (auto word = modemResult(w_.ResponseWindow->text(), w_.RxCount)) {
            return *word;
        }
    }
}

}  // namespace tarvo
