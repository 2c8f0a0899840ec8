#include "numeric.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tarvo {

namespace {

bool isDigit(char16_t ch) {
    return ch >= u'0' && ch <= u'9';
}

// Blanks, tabs and line feeds inside a number are skipped as if absent ("1 000" reads 1000).
bool isIgnored(char16_t ch) {
    return ch == u' ' || ch == u'\t' || ch == u'\n';
}

int64_t clampToInt64(double r) {
    if (std::isnan(r)) {
        return 0;
    }
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double kLimit = 9223372036854775808.0;
    if (r >= kLimit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (r < -kLimit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(r);
}

}  // namespace

double leadingNumber(QStringView text) {
    // Gather the accepted characters into a clean ASCII form, then convert it without regard
    // to the user's locale (a decimal comma must not change how "2.5" reads).
    std::string number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto peek = [&]() -> char16_t {
        while (i < n && isIgnored(text[i].unicode())) {
            ++i;
        }
        return i < n ? text[i].unicode() : u'\0';
    };

    bool negative = false;
    if (char16_t ch = peek(); ch == u'+' || ch == u'-') {
        negative = ch == u'-';
        ++i;
    }
    qsizetype intDigits = 0;
    bool anyDigit = false;
    bool seenNonZero = false;
    while (isDigit(peek())) {
        const char d = static_cast<char>(text[i++].unicode());
        seenNonZero = seenNonZero || d != '0';
        if (seenNonZero) {
            ++intDigits;
        }
        number += d;
        anyDigit = true;
    }
    if (peek() == u'.') {
        ++i;
        number += '.';
        while (isDigit(peek())) {
            number += static_cast<char>(text[i++].unicode());
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return 0.0;
    }
    long long exponent = 0;
    if (char16_t ch = peek(); ch == u'e' || ch == u'E') {
        // The exponent counts only when digits follow; "1e" and "1e+" read as 1.
        const qsizetype mark = i;
        ++i;
        std::string exp = "e";
        if (char16_t s = peek(); s == u'+' || s == u'-') {
            exp += static_cast<char>(s);
            ++i;
        }
        if (isDigit(peek())) {
            while (isDigit(peek())) {
                const char d = static_cast<char>(text[i++].unicode());
                if (exponent < 100000) {
                    exponent = exponent * 10 + (d - '0');
                }
                exp += d;
            }
            if (exp[1] == '-') {
                exponent = -exponent;
            }
            number += exp;
        } else {
            i = mark;
        }
    }

    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too large reads as infinity, too small as zero.
        value = intDigits + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

int64_t roundHalfEven(double value) {
    if (!std::isfinite(value)) {
        return clampToInt64(value);
    }
    const double below = std::floor(value);
    const double fraction = value - below;
    double r = below;
    if (fraction > 0.5) {
        r = below + 1.0;
    } else if (fraction == 0.5) {
        r = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
    }
    return clampToInt64(r);
}

int64_t roundHalfAway(double value) {
    return clampToInt64(std::round(value));
}

std::optional<int> multiDropAddress(QStringView text) {
    const QStringView t = text.trimmed();
    if (t.isEmpty()) {
        return std::nullopt;
    }
    int value = 0;
    for (QChar ch : t) {
        if (!isDigit(ch.unicode())) {
            return std::nullopt;
        }
        value = value * 10 + (ch.unicode() - u'0');
        if (value > 255) {
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace tarvo
