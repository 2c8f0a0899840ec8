#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace tarvo {

// A text that is nothing but a decimal number (blanks around it, an optional sign, digits with
// an optional fraction), in plain form: no leading zeros, no trailing fraction zeros, no "+",
// "0" for any zero ("005" -> "5", " 7.50 " -> "7.5", "-0" -> "0"). nullopt for anything else,
// such as "12abc", "1 2", "1e2" or an empty text.
std::optional<QString> plainDecimal(QStringView text);

}  // namespace tarvo
