#include <gtest/gtest.h>

#include <QApplication>
#include <QPrinter>
#include <QTemporaryDir>

#include "history_test_support.h"
#include "history_window/reading_report.h"
#include "pdf_text.h"
#include "support/qstring_printer.h"

// The meter report as the site's operator holds it: a PDF file, read back as text.
namespace tarvo::test {
namespace {

const QStringList kCaptions =
    QString(
        "Status|Pulse value|Multiplier|Value in|Print unit|Received|Returned|Paid out|"
        "Coin in A|Coin in B|Coin-in multiplier A|Coin-in multiplier B")
        .split('|');

// The widest values a board reports, each meter its own: meter m of terminal n reads
// 9999999mn. A minute before, each read less by 100 (m + 1) + n, but terminal 2's Received
// and terminal 5's Coin in B read more.
MeterReading widest(int terminals, bool before = false) {
    MeterReading r;
    r.time = kStart.addSecs(before ? 180 : 240);
    r.port = "Com12";
    r.address = 31;
    r.serialNumber = "WWWWWWWW";
    r.firmwareVersion = "BRD-V2.05";
    r.printerFirmware = "WWWWWWWWW";
    r.printerStatus = "Printer Error";
    const QStringList settings = {"PLAY", "5000", "1000", "DOLLAR", "POINTS"};
    for (int n = 1; n <= terminals; ++n) {
        MeterReading::Terminal t;
        t.number = n;
        for (int f = 0; f < static_cast<int>(kTerminalFields.size()); ++f) {
            const int m = f - 5;  // the meters follow the five settings
            const qint64 meter = 999999900 + 10 * m + n - (before ? 100 * (m + 1) + n : 0);
            const bool up = before && ((n == 2 && m == 0) || (n == 5 && m == 4));
            t.*kTerminalFields[f].field = f < 5   ? settings[f]
                                          : m < 5 ? QString::number(up ? 999999999 : meter)
                                                  : QString::number(f * 10 + n);
        }
        r.terminals.push_back(t);
    }
    return r;
}

struct Case {
    const char* name;
    int terminals;
    bool previous, cleared;
    QPageSize::PageSizeId page;
    const char* pageName;  // as pdfinfo says it
    double fontScale;
    bool throughPrinter;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class ReadingReportPdf : public testing::TestWithParam<Case> {};

TEST_P(ReadingReportPdf, HoldsEveryValueAndChangeWithTheDropsMarkedOnOnePage) {
    const Case& c = GetParam();
    ReadingReport report;
    report.reading = widest(c.terminals);
    if (c.previous) {
        report.previous = widest(c.terminals, true);
    }
    if (c.cleared) {
        report.clearedAt = report.reading.time.addSecs(-30);
    }
    const QString longLine =
        "Harbour Street Amusements, the arcade on the pier beyond the lighthouse, second floor, "
        "behind the change counter, where the six cabinets stand in a row along the east wall";
    report.locationLines = {longLine, "", "Unit 4"};

    QTemporaryDir dir;
    const QString path = dir.filePath("report.pdf");
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * c.fontScale);
    if (c.throughPrinter) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPageSize(QPageSize(c.page));
        ASSERT_TRUE(paintReport(report, printer, font));
    } else {
        ASSERT_EQ(saveReportPdf(report, path, QPageSize(c.page), font), "");
    }

    const QString info = popplerOutput("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages: +1\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QString(" pts %1\n").arg(c.pageName))) << info.toStdString();
    const QString text = pdfText(path);
    ASSERT_FALSE(text.isEmpty()) << "pdftotext (poppler-utils) is needed";
    SCOPED_TRACE(text.toStdString());
    const MeterReading& r = report.reading;
    for (const QStringList& row : {QStringList{"Reading taken", "2026-11-02 14:09:00"},
                                   {"Port", "Com12"},
                                   {"Multi-drop address", "31"},
                                   {"Serial", "WWWWWWWW"},
                                   {"Firmware", "BRD-V2.05"},
                                   {"Printer", "Printer Error, firmware WWWWWWWWW"}}) {
        EXPECT_TRUE(hasRow(text, row)) << row.join(' ').toStdString();
    }
    // The long line wraps, whole and in order, and the empty line is left out.
    EXPECT_TRUE(text.simplified().contains("Location " + longLine + " Unit 4 Compared with"));
    for (const QString who : {"Technician", "Site operator"}) {
        EXPECT_TRUE(text.contains(QRegularExpression(who + "'s name: _{20,} +Signature: _{20,}")));
    }

    const bool marking = c.previous && !c.cleared;
    auto dropped = [&](int n, const TerminalField& f) {
        return marking && ((n == 2 && f.field == &MeterReading::Terminal::received) ||
                           (n == 5 && f.field == &MeterReading::Terminal::coinInB));
    };
    for (size_t f = 0; f < kTerminalFields.size(); ++f) {
        const TerminalField& field = kTerminalFields[f];
        QStringList values{kCaptions[f]}, changes{kCaptions[f]};
        for (const auto& t : r.terminals) {
            const bool mark = dropped(t.number, field);
            values << t.*field.field;
            if (field.meterLabel && report.previous) {
                const auto& was = report.previous->terminals[t.number - 1];
                const qint64 delta =
                    (t.*field.field).toLongLong() - (was.*field.field).toLongLong();
                changes << (delta > 0 ? "+" : "") + QString::number(delta);
            }
            if (mark) {
                values << "*";
                changes << "*";
            }
        }
        EXPECT_TRUE(hasRow(text, values)) << values.join(' ').toStdString();
        if (changes.size() > 1) {
            EXPECT_TRUE(hasRow(text, changes)) << changes.join(' ').toStdString();
        }
    }
    EXPECT_EQ(text.contains("Change since 2026-11-02 14:08:00"), c.previous);
    EXPECT_EQ(hasRow(text, {"Compared with", "the reading of 2026-11-02 14:08:00"}), c.previous);
    EXPECT_EQ(hasRow(text, {"Compared with", "nothing: the first reading of this board"}),
              !c.previous);
    EXPECT_EQ(text.contains("Memory cleared on 2026-11-02 14:08:30: lower meters are expected."),
              c.cleared);
    EXPECT_EQ(text.count('*'), marking ? 5 : 0);  // two marks for each drop, one to explain
    EXPECT_EQ(hasRow(text, {"*", "Went backwards: 2 meters."}), marking);
}

INSTANTIATE_TEST_SUITE_P(Reports, ReadingReportPdf,
                         testing::Values(Case{"SixTerminalsWithDrops", 6, true, false,
                                              QPageSize::A4, "(A4)", 1, false},
                                         Case{"AKitsFirstReadingOnALetterPrinter", 1, false, false,
                                              QPageSize::Letter, "(letter)", 1, true},
                                         Case{"AMemoryClearBetweenInAThreeTimesFont", 6, true, true,
                                              QPageSize::A4, "(A4)", 3, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo::test
