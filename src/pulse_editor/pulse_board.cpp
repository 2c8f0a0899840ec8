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
    // Either window may close during the waits; then nothing more is touched.
    reading_ = true;
    const auto games = board::readPulses(s);
    reading_ = false;
    if (!games || f_.closing()) {
        return;
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
    board::writePulses(s, write.items);
}

}  // namespace tarvo
