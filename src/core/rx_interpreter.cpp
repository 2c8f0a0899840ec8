#include "rx_interpreter.h"

#include <limits>

namespace tarvo {

namespace {

constexpr unsigned char SOH = 0x01;
constexpr unsigned char BEL = 0x07;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char CR = 0x0D;
constexpr unsigned char ESC = 0x1B;

// States: 0 text, 1 after ESC, 2 after ESC "/", 3 and above a position in the status field.
constexpr int16_t kFieldStart = 3;
// An LF after this many field positions means the board redraws the whole screen.
constexpr int16_t kClearFrom = 7;

constexpr char kSpinner[4] = {'|', '/', '-', '\\'};

}  // namespace

RxEffect RxInterpreter::feed(unsigned char c) {
    RxEffect effect;
    if (c == CR) {
        rxState_ = 0;
    } else if (c == LF) {
        effect.kind = rxState_ >= kClearFrom ? RxEffect::ClearThenLineBreak : RxEffect::LineBreak;
        rxState_ = 0;
    } else if (c == ESC) {
        rxState_ = 1;
    } else if (c == '/' && rxState_ == 1) {
        rxState_ = 2;
    } else if (c == BEL && rxState_ == 2) {
        rxState_ = kFieldStart;
    } else if (rxState_ < kFieldStart) {
        rxState_ = 0;
        // Decimal 20, not 32: the control bytes 20..31 are shown as well.
        if (c >= 20 && c <= 127) {
            effect.kind = RxEffect::Append;
            effect.ch = static_cast<char>(c);
        }
    } else {
        if (c == SOH) {
            // Unsigned so the count keeps cycling through the glyphs after it wraps.
            const auto count = static_cast<uint32_t>(spinnerCount_);
            const char glyph = kSpinner[count % 4];
            spinnerCount_ = static_cast<int32_t>(count + 1);
            effect.kind = RxEffect::Status;
            // The terminal number is written with a blank in its sign position.
            effect.status = QStringLiteral("Counting pulses on  ") + QString::number(rxState_ - 2) +
                            QLatin1Char(' ') + QLatin1Char(glyph);
        }
        // A field that never ends stays a field rather than wrapping back into text.
        if (rxState_ < std::numeric_limits<int16_t>::max()) {
            ++rxState_;
        }
    }
    return effect;
}

}  // namespace tarvo
