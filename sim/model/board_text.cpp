#include "model/board_text.h"

#include <algorithm>

namespace tarvo::sim {

namespace {

const QByteArray kRule(48, '-');
const QByteArray kRecordMarker = "*S|0|";

// Exactly n characters: cut, or padded with blanks on the right.
QByteArray fixed(QByteArray text, int n) {
    text.truncate(n);
    return text.leftJustified(n, ' ');
}

// Only characters the program's receive path shows, so positions stay where they are.
QByteArray printable(QByteArray text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) {
            c = '?';
        }
    }
    return text;
}

QByteArray meter(qint64 value) {
    return QByteArray::number(std::clamp<qint64>(value, 0, 999999999)).rightJustified(9, ' ');
}

QByteArray twoDigits(int v) {
    return QByteArray::number(v).rightJustified(2, '0');
}

class Printer {
  public:
    void line(const QByteArray& text = {}) { out_ += text + "\r\n"; }
    int size() const { return out_.size(); }
    QByteArray take() { return std::move(out_); }

  private:
    QByteArray out_;
};

// "*S|0|" firmware '|' then the six printer status characters, each followed by '|'.
QByteArray statusRecord(const QByteArray& firmware, const QByteArray& status) {
    QByteArray r = kRecordMarker + fixed(printable(firmware), 9) + '|';
    const QByteArray chars = fixed(printable(status), 6);
    for (char c : chars) {
        r += c;
        r += '|';
    }
    return r;
}

template <typename F>
QByteArray perPanel(const BoardState& s, int panels, F value, const QByteArray& sep) {
    QList<QByteArray> parts;
    for (int t = 0; t < panels; ++t) {
        parts << value(s.terminals[t]);
    }
    return parts.join(sep);
}

}  // namespace

const QList<QByteArray>& pulseValueTexts() {
    static const QList<QByteArray> texts = {
        "1",  "2",   "4",   "5",   "8",   "10",  "15",  "20",   "25",   "40",   "50",
        "75", "100", "150", "200", "250", "400", "500", "1000", "2000", "2500", "5000"};
    return texts;
}

const QList<QByteArray>& multiplierTexts() {
    static const QList<QByteArray> texts = {"1",  "2",   "5",   "10",  "15",  "20",  "25",  "50",
                                            "75", "100", "150", "200", "250", "400", "500", "1000"};
    return texts;
}

QByteArray Terminal::pulseValueText() const {
    if (dip) {
        return "DIP";
    }
    return pulseValueTexts().value(pulseCode, "?");
}

QByteArray Terminal::multiplierText() const {
    return multiplierTexts().value(multiplierPos, "?");
}

QByteArray BoardClock::text() const {
    return twoDigits(hour) + ':' + twoDigits(minute) + ' ' + twoDigits(month) + '/' +
           twoDigits(day) + '/' + twoDigits(year);
}

QByteArray meterReport(const BoardState& s, bool kit) {
    const int panels = kit ? 1 : kTerminals;
    // Six-panel lists leave three blanks after their label, the kit one.
    const QByteArray gap = kit ? " " : "   ";
    Printer p;
    p.line(QByteArray(48, '='));
    p.line("          TARVO BOARD ACCOUNTING REPORT");
    p.line(QByteArray(48, '='));
    p.line("Board clock       : " + s.clock.text());
    p.line(QByteArray("Board type        : ") +
           (kit ? "KIT, ONE TERMINAL" : "SYSTEM, SIX TERMINALS"));
    p.line(kRule);
    p.line("PRINTER " + statusRecord(s.printerFirmware, s.printerStatus));
    p.line("  SERIAL # " + fixed(printable(s.serial), std::min<int>(s.serial.size(), 8)));
    p.line(kRule);

    // Lists 3 and 4 allow any blanks before each value; each value is followed by one at
    // least, the sixth too.
    auto column = [&](QByteArray (Terminal::*text)() const) {
        if (kit) {
            return (s.terminals[0].*text)();
        }
        return perPanel(
            s, panels, [&](const Terminal& t) { return (t.*text)().leftJustified(7); }, "");
    };
    p.line("Pulses in Per Point :" + gap + column(&Terminal::pulseValueText));
    p.line("Pulses in Multiplier :" + gap + column(&Terminal::multiplierText));
    p.line("Print Out In :" + gap +
           perPanel(
               s, panels, [](const Terminal& t) { return printable(t.printUnit); }, " "));
    p.line("Print Money Value In :" + gap +
           perPanel(
               s, panels, [](const Terminal& t) { return t.valueInText(); }, " "));
    // The coin-in multipliers always list six terminals, each value followed by one blank.
    QByteArray multA = "Coin In A Multiplier:  ";
    QByteArray multB = "Coin In B Multiplier:  ";
    for (const Terminal& t : s.terminals) {
        multA += QByteArray::number(t.coinMultA) + ' ';
        multB += QByteArray::number(t.coinMultB) + ' ';
    }
    p.line(multA);
    p.line(multB);
    p.line(kRule);
    p.line("BOARD   " + statusRecord(s.firmware, "000000"));
    p.line(
        "Current Status: " +
        perPanel(
            s, panels, [](const Terminal& t) { return QByteArray(t.active ? "ON" : "OFF"); }, " "));
    for (int i = 0; i < panels; ++i) {
        const Terminal& t = s.terminals[i];
        p.line(kRule);
        p.line("Terminal " + QByteArray::number(i + 1));
        p.line("Total Pulses Received=" + meter(t.received));
        p.line("Total Pulses Returned=" + meter(t.returned));
        p.line("Total Pulses Paid Out=" + meter(t.paidOut));
        p.line("Coin_1 in =" + meter(t.coin1));
        p.line("Coin_2 in =" + meter(t.coin2));
    }
    p.line(kRule);
    for (int i = 0; i < panels; ++i) {
        p.line("CREDIT ON " + QByteArray::number(i + 1) + "       : " +
               meter(s.terminals[i].credit()));
    }
    while (p.size() < kMinReportLength - 20) {
        p.line(kRule);
    }
    p.line("END OF REPORT");
    return p.take();
}

QByteArray pulseReply(const BoardState& s) {
    QByteArray out;
    for (const auto& block : s.pulses) {
        for (int v : block) {
            out += QByteArray::number(std::clamp(v, 0, 999)).rightJustified(3, '0') + ' ';
        }
        out += "\r\n";
    }
    return out;
}

QByteArray eventLog(const BoardState& s) {
    Printer p;
    p.line("TARVO BOARD EVENT LOG");
    p.line("SERIAL # " + printable(s.serial) + "   PRINTED " + s.clock.text());
    p.line(kRule);
    if (s.log.isEmpty()) {
        p.line("NO EVENTS RECORDED");
    }
    for (int i = 0; i < s.log.size(); ++i) {
        p.line(QByteArray::number(i + 1).rightJustified(4) + "  " + s.log[i]);
    }
    p.line(kRule);
    p.line("TERM   RECEIVED  RETURNED  PAID OUT   COIN 1   COIN 2");
    for (int i = 0; i < kTerminals; ++i) {
        const Terminal& t = s.terminals[i];
        p.line("  " + QByteArray::number(i + 1) + "  " + meter(t.received) + " " +
               meter(t.returned) + " " + meter(t.paidOut) + meter(t.coin1) + meter(t.coin2));
    }
    p.line("END OF LOG");
    return p.take();
}

QByteArray lastCashoutTicket(const BoardState& s) {
    Printer p;
    p.line(kRule);
    p.line("                 LAST CASHOUT");
    p.line(kRule);
    for (const QByteArray& l : s.location) {
        if (!l.isEmpty()) {
            p.line(printable(l));
        }
    }
    const Cashout& c = s.lastCashout;
    if (c.terminal < 0) {
        p.line("NO CASHOUT RECORDED");
    } else {
        p.line("TICKET #      : " + QByteArray::number(c.ticket).rightJustified(4, '0'));
        p.line("TERMINAL      : " + QByteArray::number(c.terminal + 1));
        p.line("AMOUNT        : " + QByteArray::number(c.amount) + " PULSES");
        p.line("DATE AND TIME : " + c.at.text());
    }
    p.line("SERIAL #      : " + printable(s.serial));
    p.line(kRule);
    p.line("THANK YOU");
    return p.take();
}

}  // namespace tarvo::sim
