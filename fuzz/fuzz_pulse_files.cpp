#include "core/codepage.h"
#include "core/pulse_files.h"
#include "core/pulse_text.h"

#include <cstddef>
#include <cstdint>

namespace {

// Six games of box texts a file can hold: no control characters, no commas.
tarvo::PulseGames gamesFrom(const uint8_t* data, size_t size) {
    tarvo::PulseGames games;
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    for (auto& game : games) {
        for (int k = 0; k < tarvo::kPulseTextFields; ++k) {
            QByteArray bytes;
            for (int length = next() % 8; length > 0 && at < size; --length) {
                const uint8_t b = next();
                if (b >= 0x20 && b != ',') {
                    bytes += char(b);
                }
            }
            game.text(static_cast<tarvo::PulseField>(k)) = tarvo::fromBoardBytes(bytes);
        }
        game.CmbHopper = next() % 3 - 1;
    }
    return games;
}

}  // namespace

// The loaders take any bytes; a saved template loads back as it was saved; a BIX file is 54
// bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t mode = data[0] % 3;
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    if (mode == 0 || mode == 1) {
        const tarvo::PulseFileLoad load =
            mode == 0 ? tarvo::readTemplateFile(rest) : tarvo::readGameFile(rest);
        const size_t games = mode == 0 ? 6 : 1;
        if (load.ok() != (load.games.size() == games)) {
            __builtin_trap();
        }
        return 0;
    }
    const tarvo::PulseGames games = gamesFrom(data + 1, size - 1);
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
    return 0;
}
