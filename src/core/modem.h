#pragma once

#include <QString>
#include <optional>

namespace tarvo {

// The word a dial ends with when the modem has said nothing the program recognises in time.
inline constexpr const char* kModemNoAnswer = "NO ANSWER";
// The one word that counts as a connection.
inline constexpr const char* kModemSuccess = "SUCCESS";

// The modem's result in `text` after `received` characters have arrived, or nullopt while
// none is recognised. Words are tried in a fixed order (BUSY, NO CARRIER, NO DIALTONE, ERROR,
// CONNECT 9600), each only once more characters than its own length have arrived, and only
// where it starts before character `received` of the text; the first word found wins wherever
// it stands. Matching is exact and case-sensitive.
std::optional<QString> modemResult(const QString& text, int received);

// The dialable form of a typed phone number: digits and the dial characters + * # , kept,
// blanks, dashes, dots and brackets dropped. nullopt when the text holds anything else (a CR
// or ";" would end or change the modem command; a letter is no digit).
std::optional<QString> dialableNumber(const QString& typed);

}  // namespace tarvo
