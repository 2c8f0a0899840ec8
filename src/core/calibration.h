#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace tarvo {

// The pulse multiplier that makes the test coins of a calibration count right, from the
// growth `pulses` of a terminal's received meter. No growth (or a falling meter) gives 0.
// A terminal counting in cents wants 100 / pulses, halves to even; any other unit wants
// 1 / pulses, rounded down.
int32_t calibrationMultiplier(int64_t pulses, bool cents);

// The first of positions 0..14 of a multiplier list whose text is `multiplier` in decimal,
// or -1 when none is.
int multiplierPosition(const QStringList& items, int32_t multiplier);

}  // namespace tarvo
