#include "pulse_editor/pulse_board.h"

#include "core/frames.h"
#include "core/pulse_settings.h"
#include "link/board_link.h"
#include "pulse_editor/frm_set_pulses.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

const QString kAddressZero =
    QStringLiteral("Cannot view last cashout with multi drop address of 0");
constexpr int kReplyWaitTicks = 5;  // about two and a half seconds
constexpr int kTailWaitTicks = 1;   // time for the rest of the reply

}  // namespace

PulseBoard::PulseBoard(FrmSetPulses& f) : f_(f) {}

void PulseBoard::CmdRead_Click() {
    RetreiveAccountingApp& w = f_.main();
    if (w.link().refusesAddressZero(kAddressZero)) {
        return;
    }
    w.ResponseWindow->clearText();
    const frames::Command read = frames::pulseRead();
    w.ExpectReply = false;
    w.link().sendPrefixFor(read);
    w.ExpectReply = true;
    w.link().sendPieces(read);

    // Either window may close during the waits; then nothing more is touched.
    w.TickCount = 0;
    if (!w.waitUntil([&] {
            return f_.closing() || w.ResponseWindow->length() >= kPulseReplyMinimum ||
                   w.TickCount >= kReplyWaitTicks;
        }) ||
        f_.closing() || w.ResponseWindow->length() < kPulseReplyMinimum) {
        return;
    }
    w.TickCount = 0;
    if (!w.waitUntil([&] { return f_.closing() || w.TickCount >= kTailWaitTicks; }) ||
        f_.closing()) {
        return;
    }
    const auto games = readPulseReply(w.ResponseWindow->text());
    if (!games) {
        return;
    }
    for (int n = 0; n < FrmSetPulses::kGames; ++n) {
        f_.fillGame(n, (*games)[static_cast<size_t>(n)]);
    }
    f_.CmdRedraw_Click();
}

void PulseBoard::CmdWrite_Click() {
    RetreiveAccountingApp& w = f_.main();
    if (w.link().refusesAddressZero(kAddressZero)) {
        return;
    }
    // Every item is checked before the first byte goes: the board takes "Tw" and the 54 items
    // as one set, and a half-sent set would leave it with mixed values.
    const PulseWrite write = pulseWriteItems(f_.games());
    if (write.refusal) {
        f_.showRefusal(*write.refusal);
        return;
    }
    // No reply is awaited, so the items are not followed by reads over USB.
    w.ExpectReply = false;
    w.link().sendCommand(frames::pulseWrite(write.items));
}

}  // namespace tarvo
