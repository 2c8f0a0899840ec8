#pragma once

#include <QString>
#include <optional>

namespace tarvo {

// "9600,N,8,1": baud, parity letter, data bits, stop bits.
struct LineSettings {
    int baud = 9600;
    char parity = 'N';  // N, E, O, M (mark) or S (space)
    int dataBits = 8;
    int stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

std::optional<LineSettings> parseLineSettings(const QString& text);

}  // namespace tarvo
