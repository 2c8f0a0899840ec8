#include "core/modem.h"

namespace tarvo {

namespace {

struct ModemWord {
    const char* text;
    int threshold;
    const char* result;
};

constexpr ModemWord kWords[] = {
    {"BUSY", 4, "BUSY"},
    {"NO CARRIER", 10, "NO CARRIER"},
    {"NO DIALTONE", 11, "NO DIALTONE"},
    {"ERROR", 5, "MODEM ERROR"},
    {"CONNECT 9600", 12, kModemSuccess},
};

}  // namespace

std::optional<QString> modemResult(const QString& text, int received) {
    for (const ModemWord& word : kWords) {
        if (received <= word.threshold) {
            continue;
        }
        // Start positions 1 .. received - 1, counted from 1: index 0 .. received - 2.
        const qsizetype at = text.indexOf(QLatin1String(word.text), 0, Qt::CaseSensitive);
        if (at >= 0 && at <= received - 2) {
            return QString::fromLatin1(word.result);
        }
    }
    return std::nullopt;
}

std::optional<QString> dialableNumber(const QString& typed) {
    QString number;
    for (QChar ch : typed) {
        const char16_t c = ch.unicode();
        if ((c >= u'0' && c <= u'9') || c == u'+' || c == u'*' || c == u'#' || c == u',') {
            number += ch;
        } else if (c == u' ' || c == u'-' || c == u'.' || c == u'(' || c == u')') {
            continue;  // how people write numbers; the modem needs none of it
        } else {
            return std::nullopt;
        }
    }
    return number;
}

}  // namespace tarvo
