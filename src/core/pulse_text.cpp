#include "core/pulse_text.h"

namespace tarvo {

namespace {

bool isBlank(QChar ch) {
    return ch == u' ' || ch == u'\t';
}

bool isDigit(QChar ch) {
    return ch >= u'0' && ch <= u'9';
}

}  // namespace

std::optional<QString> plainDecimal(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    bool negative = false;
    if (begin < end && (text[begin] == u'+' || text[begin] == u'-')) {
        negative = text[begin] == u'-';
        ++begin;
    }
    qsizetype i = begin;
    while (i < end && isDigit(text[i])) {
        ++i;
    }
    QStringView whole = text.sliced(begin, i - begin);
    QStringView fraction;
    if (i < end && text[i] == u'.') {
        const qsizetype from = ++i;
        while (i < end && isDigit(text[i])) {
            ++i;
        }
        fraction = text.sliced(from, i - from);
    }
    if (i != end || (whole.isEmpty() && fraction.isEmpty())) {
        return std::nullopt;
    }
    while (whole.size() > 1 && whole.front() == u'0') {
        whole = whole.sliced(1);
    }
    while (!fraction.isEmpty() && fraction.back() == u'0') {
        fraction.chop(1);
    }
    QString plain = whole.isEmpty() ? QStringLiteral("0") : whole.toString();
    if (!fraction.isEmpty()) {
        plain += u'.' + fraction.toString();
    }
    if (negative && plain != QLatin1String("0")) {
        plain.prepend(u'-');
    }
    return plain;
}

}  // namespace tarvo
