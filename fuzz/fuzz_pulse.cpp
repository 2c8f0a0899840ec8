#include "core/codepage.h"
#include "core/pulse_files.h"
#include "core/pulse_settings.h"
#include "core/pulse_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Six games cut from the input. Most boxes are numbers around the limits, so whole writes get
// through; a selector byte of 240 or more makes a box of raw bytes instead, for a file without
// the control characters and commas no file line can hold.
tarvo::PulseGames gamesFrom(const uint8_t* data, size_t size, bool forFile) {
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
            QByteArray bytes;
            for (int length = selector % 8; length > 0 && at < size; --length) {
                const uint8_t b = next();
                if (!forFile || (b >= 0x20 && b != ',')) {
                    bytes += char(b);
                }
            }
            text = tarvo::fromBoardBytes(bytes);
        }
        game.CmbHopper = next() % 5 == 0 ? -1 : next() % 2;
    }
    return games;
}

}  // namespace

// The reply reader, the file loaders, the write items, the files written and the plot: no
// crash, no malformed item, a saved template loads back as it was saved, a BIX file is 54
// bytes, no endless train.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t mode = data[0] % 5;
    ++data;
    --size;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (mode == 0) {
        const QString reply = tarvo::fromBoardBytes(bytes);
        const auto games = tarvo::readPulseReply(reply);
        if (games.has_value() != (reply.size() >= tarvo::kPulseReplyMinimum)) {
            __builtin_trap();
        }
        if (games) {
            for (const tarvo::PulseGameRead& game : *games) {
                const int hopper = game.values.CmbHopper;
                if (game.values.TxtPulse1On.size() > 3 ||
                    (game.hopperGiven && hopper != 0 && hopper != 1)) {
                    __builtin_trap();
                }
            }
        }
    } else if (mode == 1) {
        const tarvo::PulseFileLoad set = tarvo::readTemplateFile(bytes);
        const tarvo::PulseFileLoad game = tarvo::readGameFile(bytes);
        if (set.ok() != (set.games.size() == 6) || game.ok() != (game.games.size() == 1)) {
            __builtin_trap();
        }
    } else if (mode == 2) {
        const tarvo::PulseWrite write = tarvo::pulseWriteItems(gamesFrom(data, size, false));
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
    } else if (mode == 3) {
        const tarvo::PulseGames games = gamesFrom(data, size, true);
        const tarvo::PulseFileLoad load = tarvo::readTemplateFile(tarvo::templateFileBytes(games));
        if (!load.ok()) {
            __builtin_trap();
        }
        for (int n = 0; n < tarvo::kPulseGames; ++n) {
            const auto& read = load.games[size_t(n)];
            if (!read.hopperGiven || read.values.CmbHopper != games[n].CmbHopper) {
                __builtin_trap();
            }
            for (int k = 0; k < tarvo::kPulseTextFields; ++k) {
                const auto field = static_cast<tarvo::PulseField>(k);
                const QString& saved = games[n].text(field);
                if (read.values.text(field) != tarvo::plainDecimal(saved).value_or(saved)) {
                    __builtin_trap();
                }
            }
        }
        const tarvo::PulseBix bix = tarvo::bixFileBytes(games);
        if (bix.accepted() != (bix.bytes.size() == tarvo::kBixFileBytes)) {
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
