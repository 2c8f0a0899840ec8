#pragma once

#include <QDateTime>
#include <QFont>
#include <QPageSize>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/meter_reading.h"

class QPagedPaintDevice;

namespace tarvo {

// What one printed meter report holds: a reading, the board's reading before it, and the
// site it was taken at.
struct ReadingReport {
    MeterReading reading;
    std::optional<MeterReading> previous;  // nothing: the board's first reading
    // A memory clear sent between the two: lower meters are expected then.
    std::optional<QDateTime> clearedAt;
    QStringList locationLines;  // as the main window holds them; empty lines are left out
};

// The report of `reading`, compared with the board's reading before it (nothing: its first);
// `clears` are the board's memory clears, oldest first.
ReadingReport reportOf(MeterReading reading, std::optional<MeterReading> previous,
                       const std::vector<QDateTime>& clears, QStringList locationLines);

// The report as the rich text that is laid out on the page; `padding` is the room around the
// text of each table cell, in pixels of 96 per inch.
QString reportHtml(const ReadingReport& report, int padding);

// Lays the report out on one page of `device` (its page size; margins of at least 15 mm) in
// `font`. Where
// the text does not fit the page, the whole page is drawn smaller instead of cutting anything.
// False when the device could not be painted on.
bool paintReport(const ReadingReport& report, QPagedPaintDevice& device, const QFont& font);

// Letter where the user's locale is one of the US measures, else A4.
QPageSize localPageSize();

// Writes the report as a one-page PDF file; the file it replaces is kept when that fails.
// Empty on success, else why it failed.
QString saveReportPdf(const ReadingReport& report, const QString& path, const QPageSize& size,
                      const QFont& font);

}  // namespace tarvo
