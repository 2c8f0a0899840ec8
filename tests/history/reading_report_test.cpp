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

const QStringList kCaptions = {
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

// The widest values a board reports, each cell its own: meter m of terminal n reads
// 9999999mn.
MeterReading widest(int terminals) {
    MeterReading r;
    r.time = kStart.addSecs(240);
    r.port = "Com12";
    r.address = 31;
    r.serialNumber = "WWWWWWWW";
    r.firmwareVersion = "BRD-V2.05";
    r.printerFirmware = "WWWWWWWWW";
    r.printerStatus = "Printer Error";
    for (int n = 1; n <= terminals; ++n) {
        MeterReading::Terminal t;
        t.number = n;
        t.status = n % 2 ? "PLAY" : "IDLE";
        t.pulseValue = "5000";
        t.multiplier = "1000";
        t.valueIn = "DOLLAR";
        t.printUnit = "POINTS";
        int m = 0;
        for (const auto& f : meterFields()) {
            t.*f.field = QString("9999999%1%2").arg(m++).arg(n);
        }
        t.coinInMultiplierA = QString::number(10 + n);
        t.coinInMultiplierB = QString::number(20 + n);
        r.terminals.push_back(t);
    }
    return r;
}

// A minute earlier every meter read less by 100 (m + 1) + n, but terminal 2's Received and
// terminal 5's Coin in B read more.
MeterReading before(const MeterReading& now) {
    MeterReading r = now;
    r.time = now.time.addSecs(-60);
    for (auto& t : r.terminals) {
        int m = 0;
        for (const auto& f : meterFields()) {
            const qint64 was = (t.*f.field).toLongLong() - 100 * ++m - t.number;
            t.*f.field = QString::number(was).rightJustified(9, '0');
        }
    }
    r.terminals[1].received = r.terminals[4].coinInB = "999999999";
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
        report.previous = before(report.reading);
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
    EXPECT_TRUE(hasRow(text, {"Reading taken", "2026-11-02 14:09:00"}));
    EXPECT_TRUE(hasRow(text, {"Port", "Com12"}));
    EXPECT_TRUE(hasRow(text, {"Multi-drop address", "31"}));
    EXPECT_TRUE(hasRow(text, {"Serial", "WWWWWWWW"}));
    EXPECT_TRUE(hasRow(text, {"Firmware", "BRD-V2.05"}));
    EXPECT_TRUE(hasRow(text, {"Printer", "Printer Error, firmware WWWWWWWWW"}));
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
            for (auto* list : {&values, &changes}) {
                if (mark) {
                    *list << "*";
                }
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
