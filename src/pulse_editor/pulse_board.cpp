#include "pulse_editor/pulse_board.h"

#include "core/pulse_settings.h"
#include "pulse_editor/frm_set_pulses.h"
#include "session/board_operations.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

const QString kAddressZero =
    QStringLiteral("Cannot view last cashout with multi drop address of 0");

}  // namespace

PulseBoard::PulseBoard(FrmSetPulses& f) : f_(f) {}

void PulseBoard::CmdRead_Click() {
    auto op = f_.main().beginOperation();
    BoardSession& s = f_.main().session();
    if (!op || s.refusesAddressZero(kAddressZero)) {
        return;
    }
    read(std::move(op));
}

QCoro::Task<> PulseBoard::read(BoardSession::Operation op) {
    // The window stays until the read is over; once it is closed nothing more is shown.
    FrmSetPulses::Busy busy(f_);
    BoardSession& s = f_.main().session();
    const auto games = co_await board::readPulses(s);
    const bool stopped = s.stopping();
    op.end();
    if (stopped || f_.closing()) {
        co_return;
    }
    if (!games) {
        // The boxes keep what they held: nothing the board said replaces it.
        f_.main().platform().prompts->message(QStringLiteral("no answer from the board"),
                                              MsgButtons::Ok, MsgIcon::Exclamation,
                                              QStringLiteral("READ"));
        co_return;
    }
    for (int n = 0; n < FrmSetPulses::kGames; ++n) {
        f_.fillGame(n, (*games)[static_cast<size_t>(n)]);
    }
    f_.CmdRedraw_Click();
}

void PulseBoard::CmdWrite_Click() {
    auto op = f_.main().beginOperation();
    BoardSession& s = f_.main().session();
    if (!op || s.refusesAddressZero(kAddressZero)) {
        return;
    }
    // Every item is checked before the first byte goes: the board takes "Tw" and the 54 items
    // as one set, and a half-sent set would leave it with mixed values.
    const PulseWrite write = pulseWriteItems(f_.games());
    if (write.refusal) {
        f_.showRefusal(*write.refusal);
        return;
    }
    [](BoardSession& s, std::vector<QByteArray> items,
       [[maybe_unused]] BoardSession::Operation held) -> QCoro::Task<> {
        co_await board::writePulses(s, std::move(items));
    }(s, write.items, std::move(op));
}

}  // namespace tarvo
