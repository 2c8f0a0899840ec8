#include "line_settings.h"

#include <QStringList>

namespace tarvo {

namespace {

std::optional<int> wholeNumber(const QString& field) {
    const QString t = field.trimmed();
    if (t.isEmpty()) {
        return std::nullopt;
    }
    for (QChar ch : t) {
        if (!ch.isDigit() || ch.unicode() > u'9') {
            return std::nullopt;
        }
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(const QString& text) {
    const QStringList fields = text.split(u',');
    if (fields.size() != 4) {
        return std::nullopt;
    }
    const auto baud = wholeNumber(fields[0]);
    const auto dataBits = wholeNumber(fields[2]);
    const auto stopBits = wholeNumber(fields[3]);
    const QString parity = fields[1].trimmed().toUpper();
    if (!baud || *baud <= 0 || !dataBits || *dataBits < 5 || *dataBits > 8 || !stopBits ||
        (*stopBits != 1 && *stopBits != 2) || parity.size() != 1 ||
        !QStringLiteral("NEOMS").contains(parity)) {
        return std::nullopt;
    }
    LineSettings s;
    s.baud = *baud;
    s.parity = static_cast<char>(parity[0].unicode());
    s.dataBits = *dataBits;
    s.stopBits = *stopBits;
    return s;
}

}  // namespace tarvo
