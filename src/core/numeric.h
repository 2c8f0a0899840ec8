#pragma once

#include <QStringView>
#include <cstdint>
#include <optional>

namespace tarvo {

// The leading decimal number of a text: blanks ignored, optional sign, digits, decimal point
// and exponent; reading stops at the first character that cannot continue the number.
// A text that does not start with a number reads as 0.
double leadingNumber(QStringView text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int64_t roundHalfEven(double value);
// Nearest whole number, halves away from zero (12.5 -> 13).
int64_t roundHalfAway(double value);

// A multi-drop address: a whole number 0..255, blanks around it allowed. nullopt for
// anything else, so a wrong text never becomes a wrong address byte.
std::optional<int> multiDropAddress(QStringView text);

}  // namespace tarvo
