#include "core/codepage.h"
#include "core/pulse_settings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Six games cut from the input. Most boxes are numbers around the limits, so whole writes get
// through; a selector byte of 240 or more makes a box of raw bytes instead.
tarvo::PulseGames gamesFrom(const uint8_t* data, size_t size) {
    tarvo::PulseGames games;
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    for (auto& game : games) {
        for (int k = 0; k < tarvo::kPulseTextFields; ++k) {
            QString& text = game.text(static_cast<tarvo::PulseField>(k));
            const uint8_t selector = next();
            if (selector < 240) {
                text = QString::number(selector * 4.25 - 10.0);
                continue;
            }
            const size_t length = std::min<size_t>(selector % 8, size - std::min(at, size));
            text = tarvo::fromBoardBytes(
                QByteArray(reinterpret_cast<const char*>(data) + at, qsizetype(length)));
            at += length;
        }
        game.CmbHopper = next() % 5 == 0 ? -1 : next() % 2;
    }
    return games;
}

}  // namespace

// The reply reader, the write items and the plot: no crash, no malformed item, no endless train.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t mode = data[0] % 3;
    ++data;
    --size;
    if (mode == 0) {
        const QString reply =
            tarvo::fromBoardBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
        const auto games = tarvo::readPulseReply(reply);
        if (games.has_value() != (reply.size() >= tarvo::kPulseReplyMinimum)) {
            __builtin_trap();
        }
        if (games) {
            for (const auto& game : *games) {
                const int hopper = game.values.CmbHopper;
                if (game.values.TxtPulse1On.size() > 3 ||
                    (game.hopperGiven && hopper != 0 && hopper != 1)) {
                    __builtin_trap();
                }
            }
        }
    } else if (mode == 1) {
        const tarvo::PulseWrite write = tarvo::pulseWriteItems(gamesFrom(data, size));
        if (write.accepted()) {
            if (write.items.size() != 54) {
                __builtin_trap();
            }
            for (const QByteArray& item : write.items) {
                if (item.size() != 4 || item[3] != ' ' ||
                    !std::all_of(item.begin(), item.begin() + 3,
                                 [](char c) { return c >= '0' && c <= '9'; })) {
                    __builtin_trap();
                }
            }
        } else if (write.refusal->game < 1 || write.refusal->game > 6 || !write.items.empty()) {
            __builtin_trap();
        }
    } else if (size >= 12) {
        int32_t v[3];
        std::memcpy(v, data, sizeof v);
        const auto lines = tarvo::plotSegments(v[0], v[1], v[2]);
        if (lines.empty() || lines.size() > 2000) {
            __builtin_trap();
        }
        for (size_t i = 1; i < lines.size(); ++i) {
            if (lines[i].x1 != lines[i - 1].x2 || lines[i].y1 != lines[i - 1].y2) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
