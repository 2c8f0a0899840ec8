#include "meter_report.h"

#include <algorithm>

namespace tarvo {

namespace {

constexpr QStringView kMarker = u"*S|0|";

// The report read by 1-based positions, as its layout is laid down. Every access is checked
// against the end of the text: a cut report yields what is there and nothing beyond it.
class Scanner {
  public:
    Scanner(QStringView text, int limit) : t_(text), limit_(limit) {}

    qsizetype c = 1;

    // The character code at a position, or -1 past either end.
    int at(qsizetype pos) const {
        return pos >= 1 && pos <= t_.size() ? t_[pos - 1].unicode() : -1;
    }

    // Up to `count` characters from `pos`, fewer where the text ends.
    QString mid(qsizetype pos, qsizetype count) const {
        if (pos < 1 || pos > t_.size()) {
            return QString();
        }
        return t_.sliced(pos - 1, std::min(count, t_.size() - pos + 1)).toString();
    }

    // Moves c to the first place at or after it, starting before the limit, where `label`
    // stands (or, when given, `stop` stands). Without one, c ends at the limit. Returns the
    // position found, or 0.
    qsizetype search(QStringView label, QStringView stop = {}) {
        if (c >= limit_) {
            return 0;
        }
        const qsizetype a = find(label);
        const qsizetype b = stop.isEmpty() ? 0 : find(stop);
        const qsizetype hit = a && b ? std::min(a, b) : std::max(a, b);
        if (hit == 0) {
            c = limit_;
            return 0;
        }
        c = hit;
        return hit;
    }

    bool isTerminator(int ch, bool crEnds) const { return ch == ' ' || (crEnds && ch == '\r'); }

    // Reads from c up to (not including) the next terminator, or to the end of the text.
    QString value(bool crEnds) {
        const qsizetype start = c;
        while (at(c) != -1 && !isTerminator(at(c), crEnds)) {
            ++c;
        }
        return start <= t_.size() ? t_.sliced(start - 1, c - start).toString() : QString();
    }

    void skipBlanks() {
        while (at(c) == ' ') {
            ++c;
        }
    }

  private:
    // 1-based position of `label` at or after c and before the limit, or 0.
    qsizetype find(QStringView label) const {
        // Only a label that starts before the limit and lies wholly within the text counts;
        // searching this window keeps a failed search from scanning past the limit.
        const qsizetype lastStart = std::min<qsizetype>(limit_ - 1, t_.size() - label.size() + 1);
        if (lastStart < c) {
            return 0;
        }
        const QStringView window = t_.first(lastStart - 1 + label.size());
        const qsizetype i = window.indexOf(label, c - 1);
        return i < 0 ? 0 : i + 1;
    }

    QStringView t_;
    qsizetype limit_;
};

}  // namespace

MeterReport scanMeterReport(QStringView text, int limit, bool kit) {
    MeterReport r;
    Scanner s(text, limit);
    const int panels = kit ? 1 : 6;
    // The kit's report puts each value two characters closer to its label.
    const int closer = kit ? 2 : 0;

    // The first status record: printer firmware and status.
    if (qsizetype p = s.search(kMarker)) {
        r.printerFirmware = s.mid(p + 5, 9);
    }
    s.c += 14;
    const int statusChar = s.at(s.c + 1);
    if (statusChar != -1 && (statusChar & 0x10)) {
        r.printerStatus = QStringLiteral("Printer Error");
        s.c += 1;
        for (int k = 0; k < 6; ++k) {
            if (const int ch = s.at(s.c); ch != -1) {
                r.systemMessage += QString::number(ch, 16).toUpper() + QLatin1Char(' ');
            }
            s.c += 2;
        }
    } else {
        // A status character beyond the end of a cut report counts as no error.
        r.systemMessage = QStringLiteral("Printer OK");
        r.printerStatus = QStringLiteral("No Errors");
    }

    // The serial number; the cursor stays on the label.
    if (qsizetype p = s.search(u"  SERIAL # ")) {
        QString board;
        if (s.at(p + 11) == '\r') {
            r.serialNumber = QStringLiteral("NOT SET");
        } else {
            bool lineEnded = false;
            for (int k = 0; k < 8; ++k) {
                const int ch = s.at(p + 11 + k);
                lineEnded = lineEnded || ch == '\r' || ch == '\n';
                if (ch >= 0x20 && ch <= 0x7A) {
                    r.serialNumber += QChar(ch);
                    if (!lineEnded) {
                        board += QChar(ch);
                    }
                }
            }
        }
        r.boardSerial = board.trimmed();
    }

    // Pulse values and multipliers: blanks may precede each value; only the first value
    // of a line may end at the line end.
    auto readSpacedLine = [&](QStringView label, int offset, MeterReport::PerTerminal<QString>& box,
                              MeterReport::PerTerminal<std::optional<QString>>& edit) {
        const qsizetype p = s.search(label);
        if (!p) {
            return;
        }
        s.c = p + offset - closer;
        for (int i = 0; i < panels; ++i) {
            s.skipBlanks();
            box[i] = s.value(i == 0);
            edit[i] = box[i];
        }
    };
    readSpacedLine(u"Pulses in Per Point :", 24, r.pulseInPerPoint, r.pulseValueEdit);
    readSpacedLine(u"Pulses in Multiplier :", 25, r.pulseInMultiplier, r.multiplierEdit);

    // Print unit, value unit and terminal status: values one terminator apart, starting at a
    // fixed offset from the label.
    auto readPackedLine = [&](QStringView label, int offset, MeterReport::PerTerminal<QString>& box,
                              MeterReport::PerTerminal<std::optional<QString>>* edit) {
        const qsizetype p = s.search(label);
        if (!p) {
            return;
        }
        s.c = p + offset;
        for (int j = 0; j < panels; ++j) {
            box[j] = s.value(true);
            if (edit) {
                (*edit)[j] = box[j];
            }
            s.c += 1;
        }
    };
    readPackedLine(u"Print Out In :", 17 - closer, r.printMoneyOrPoints, nullptr);
    readPackedLine(u"Print Money Value In :", 25 - closer, r.valueIn, &r.valueInEdit);

    // Coin-in multipliers, optional: the search gives up at the second status record so
    // a report without them still yields everything after. Six values even on a kit.
    auto readMultipliers = [&](QStringView label, MeterReport::PerTerminal<QString>& box) {
        const qsizetype p = s.search(label, kMarker);
        if (!p || s.at(p) != label[0].unicode()) {
            return;
        }
        s.c = p + 23;
        for (int j = 0; j < 6; ++j) {
            box[j] = s.value(false);
            s.c += 1;
        }
    };
    readMultipliers(u"Coin In A Multiplier:", r.coinInMultiA);
    readMultipliers(u"Coin In B Multiplier:", r.coinInMultiB);

    // The second status record: board firmware.
    if (qsizetype p = s.search(kMarker)) {
        r.firmwareVersion = s.mid(p + 5, 9);
    }
    s.c += 14;

    // Terminal status, after the board firmware.
    readPackedLine(u"Current Status: ", 16, r.status, nullptr);

    // One block of meters per panel. The cursor moves on past each meter whether or not
    // its label was found.
    auto readMeter = [&](QStringView label, QString& box) {
        if (qsizetype p = s.search(label)) {
            box = s.mid(p + label.size(), 9);
        }
        s.c += label.size() + 9;
    };
    for (int j = 0; j < panels; ++j) {
        if (!kit) {
            s.search(u"Terminal ");
        }
        readMeter(u"Total Pulses Received=", r.received[j]);
        readMeter(u"Total Pulses Returned=", r.returned[j]);
        readMeter(u"Total Pulses Paid Out=", r.paidOut[j]);
        readMeter(u"Coin_1 in =", r.coinInA[j]);
        readMeter(u"Coin_2 in =", r.coinInB[j]);
    }
    return r;
}

}  // namespace tarvo
