#include "core/calibration.h"

#include <algorithm>

#include "core/numeric.h"

namespace tarvo {

namespace {
constexpr int kSearchedPositions = 15;
}  // namespace

int32_t calibrationMultiplier(int64_t pulses, bool cents) {
    if (pulses <= 0) {
        return 0;
    }
    if (cents) {
        return static_cast<int32_t>(roundHalfEven(100.0 / static_cast<double>(pulses)));
    }
    return pulses == 1 ? 1 : 0;
}

int multiplierPosition(const QStringList& items, int32_t multiplier) {
    const QString wanted = QString::number(multiplier);
    const int last = std::min<int>(kSearchedPositions, static_cast<int>(items.size()));
    for (int k = 0; k < last; ++k) {
        if (items[k] == wanted) {
            return k;
        }
    }
    return -1;
}

}  // namespace tarvo
