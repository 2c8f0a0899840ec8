#include "history_window/reading_report.h"

#include <QAbstractTextDocumentLayout>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <algorithm>
#include <array>

#include "history/meter_change.h"

namespace tarvo {

namespace {

// The terminal table's row captions, in kTerminalFields order.
constexpr std::array<const char*, kTerminalFields.size()> kCaptions = {
    "Status",
    "Pulse value",
    "Multiplier",
    "Value in",
    "Print unit",
    "Received",
    "Returned",
    "Paid out",
    "Coin in A",
    "Coin in B",
    "Coin-in multiplier A",
    "Coin-in multiplier B",
};

// A meter that went backwards carries this beside its value, so the mark survives a
// black-and-white printer and a reader of the text.
constexpr char kDropMark = '*';
constexpr const char* kDropColour = "#ffc870";  // the main window's amber

QString when(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Values and captions never break inside: a meter read as two lines is a wrong meter.
QString cell(const QString& text, bool marked = false) {
    return QStringLiteral("<td align=\"right\"%1 style=\"white-space:nowrap\">%2</td>")
        .arg(marked ? QStringLiteral(" bgcolor=\"%1\"").arg(QLatin1String(kDropColour)) : QString(),
             marked ? QStringLiteral("<b>%1 %2</b>").arg(text.toHtmlEscaped()).arg(kDropMark)
                    : text.toHtmlEscaped());
}

// The terminals share what the captions leave of the width evenly, so that a marked (bold)
// value does not widen its column alone.
QString headerRow(const MeterReading& r) {
    QString row = QStringLiteral("<tr><th></th>");
    const int share = 80 / std::max<int>(1, static_cast<int>(r.terminals.size()));
    for (const auto& t : r.terminals) {
        row += QStringLiteral("<th width=\"%1%\" style=\"white-space:nowrap\">Terminal %2</th>")
                   .arg(share)
                   .arg(t.number);
    }
    return row + QStringLiteral("</tr>");
}

QString changeText(const MeterChange& c) {
    if (c.first) {
        return QStringLiteral("new");
    }
    if (!c.delta) {
        return QStringLiteral("n/a");
    }
    return *c.delta > 0 ? QStringLiteral("+%1").arg(*c.delta) : QString::number(*c.delta);
}

QString infoRow(const QString& caption, const QString& valueHtml) {
    return QStringLiteral(
               "<tr><td valign=\"top\" style=\"white-space:nowrap\"><b>%1</b></td>"
               "<td>%2</td></tr>")
        .arg(caption.toHtmlEscaped(), valueHtml);
}

QStringList presentLines(const QStringList& lines) {
    QStringList out;
    for (const auto& l : lines) {
        if (!l.trimmed().isEmpty()) {
            out << l.trimmed().toHtmlEscaped();
        }
    }
    return out;
}

}  // namespace

ReadingReport reportOf(MeterReading reading, std::optional<MeterReading> previous,
                       const std::vector<QDateTime>& clears, QStringList locationLines) {
    ReadingReport out;
    out.reading = std::move(reading);
    out.previous = std::move(previous);
    if (out.previous) {
        out.clearedAt = memoryClearBetween(clears, out.previous->time, out.reading.time);
    }
    out.locationLines = std::move(locationLines);
    return out;
}

QString reportHtml(const ReadingReport& report, int padding) {
    const MeterReading& r = report.reading;
    const auto changes = compareWithPrevious(r, report.previous, report.clearedAt);
    QString html = QStringLiteral("<html><body><h2>Meter Report: Board %1</h2>")
                       .arg(r.serialNumber.toHtmlEscaped());

    const QStringList location = presentLines(report.locationLines);
    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"%1\">").arg(padding);
    html += infoRow(QStringLiteral("Reading taken"), when(r.time));
    html += infoRow(QStringLiteral("Port"), r.port.toHtmlEscaped());
    html += infoRow(QStringLiteral("Multi-drop address"),
                    r.address ? QString::number(*r.address) : QStringLiteral("none"));
    html += infoRow(QStringLiteral("Serial"), r.serialNumber.toHtmlEscaped());
    html += infoRow(QStringLiteral("Firmware"), r.firmwareVersion.toHtmlEscaped());
    html += infoRow(QStringLiteral("Printer"),
                    QStringLiteral("%1, firmware %2")
                        .arg(r.printerStatus.toHtmlEscaped(), r.printerFirmware.toHtmlEscaped()));
    html += infoRow(QStringLiteral("Location"),
                    location.isEmpty() ? QStringLiteral("not set") : location.join("<br>"));
    html += infoRow(QStringLiteral("Compared with"),
                    report.previous
                        ? QStringLiteral("the reading of %1").arg(when(report.previous->time))
                        : QStringLiteral("nothing: the first reading of this board"));
    html += QStringLiteral("</table>");

    // One row per field, one column per terminal; each money meter's change in a second table.
    const QString table = QStringLiteral(
                              "<table width=\"100%\" border=\"1\" cellspacing=\"0\" "
                              "cellpadding=\"%1\" style=\"border-collapse:collapse\">")
                              .arg(padding);
    QString meters = table + headerRow(r), moves = table + headerRow(r);
    int drops = 0;
    size_t meter = 0;
    for (size_t f = 0; f < kTerminalFields.size(); ++f) {
        const TerminalField& field = kTerminalFields[f];
        const QString caption =
            QStringLiteral("<th align=\"left\" style=\"white-space:nowrap\">%1</th>")
                .arg(QLatin1String(kCaptions[f]));
        meters += QStringLiteral("<tr>") + caption;
        if (field.meterLabel) {
            moves += QStringLiteral("<tr>") + caption;
        }
        for (size_t n = 0; n < r.terminals.size(); ++n) {
            const QString value = (r.terminals[n].*field.field).trimmed();
            if (!field.meterLabel) {
                meters += cell(value);
                continue;
            }
            const MeterChange& c = changes[n][meter];
            drops += c.wentBackwards() ? 1 : 0;
            meters += cell(value, c.wentBackwards());
            moves += cell(changeText(c), c.wentBackwards());
        }
        meters += QStringLiteral("</tr>");
        if (field.meterLabel) {
            moves += QStringLiteral("</tr>");
            ++meter;
        }
    }
    html += QStringLiteral("<h3>Meters</h3>") + meters + QStringLiteral("</table>");

    if (report.previous) {
        html += QStringLiteral("<h3>Change since %1</h3>").arg(when(report.previous->time)) +
                moves + QStringLiteral("</table>");
        if (report.clearedAt) {
            html += QStringLiteral("<p>Memory cleared on %1: lower meters are expected.</p>")
                        .arg(when(*report.clearedAt));
        }
        html += drops == 0 ? QStringLiteral("<p>No meter went backwards.</p>")
                           : QStringLiteral("<p><b>%1 Went backwards: %2 %3.</b></p>")
                                 .arg(kDropMark)
                                 .arg(drops)
                                 .arg(drops == 1 ? "meter" : "meters");
    }

    const QString blank = QStringLiteral("_").repeated(28);
    html += QStringLiteral("<br><table width=\"100%\" cellpadding=\"%1\">").arg(padding * 3);
    for (const char* who : {"Technician", "Site operator"}) {
        html += QStringLiteral(
                    "<tr><td style=\"white-space:nowrap\">%1's name: %2</td>"
                    "<td style=\"white-space:nowrap\">Signature: %2</td></tr>")
                    .arg(QLatin1String(who), blank);
    }
    return html + QStringLiteral("</table></body></html>");
}

bool paintReport(const ReadingReport& report, QPagedPaintDevice& device, const QFont& font) {
    // Printers to a file offer next to no margin: the page keeps at least 15 mm all round.
    const QMarginsF was = device.pageLayout().margins(QPageLayout::Millimeter);
    device.setPageMargins(QMarginsF(std::max(was.left(), 15.0), std::max(was.top(), 15.0),
                                    std::max(was.right(), 15.0), std::max(was.bottom(), 15.0)),
                          QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device)) {
        return false;
    }
    QFont points = font;
    // No ligatures: a reader searching the file for "firmware" finds it.
    points.setStyleStrategy(QFont::PreferNoShaping);
    if (points.pointSizeF() <= 0) {
        // Pixels mean nothing on paper; 96 per inch is what they stand for on a screen.
        points.setPointSizeF(font.pixelSize() * 72.0 / 96.0);
    }
    QTextDocument doc;
    doc.setDefaultFont(points);
    doc.setDocumentMargin(0);
    doc.documentLayout()->setPaintDevice(&device);
    // Room around the text in the tables grows with the text: a third of a line, in the
    // 96-per-inch pixels the layout counts in.
    doc.setHtml(reportHtml(report, std::max(2, qRound(points.pointSizeF() * 96 / 72 / 3))));
    const qreal pageWidth = device.width(), pageHeight = device.height();
    doc.setTextWidth(pageWidth);
    // Rows that cannot break set the width: the text is laid out across that much and the
    // page drawn smaller, as it is when it runs longer than the page.
    const qreal width = std::max(pageWidth, doc.size().width());
    doc.setTextWidth(width);
    const qreal scale = std::min({1.0, pageWidth / width, pageHeight / doc.size().height()});
    painter.scale(scale, scale);
    doc.drawContents(&painter);
    return painter.end();
}

QPageSize localPageSize() {
    return QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize(QPageSize::Letter)
                                                                      : QPageSize(QPageSize::A4);
}

QString saveReportPdf(const ReadingReport& report, const QString& path, const QPageSize& size,
                      const QFont& font) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(size);
        pdf.setTitle(QStringLiteral("Meter Report %1 %2")
                         .arg(report.reading.serialNumber, when(report.reading.time)));
        pdf.setCreator(QStringLiteral("Tarvo Board Configuration Utility"));
        if (!paintReport(report, pdf, font)) {
            file.cancelWriting();
            return QStringLiteral("the report could not be laid out");
        }
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

}  // namespace tarvo
