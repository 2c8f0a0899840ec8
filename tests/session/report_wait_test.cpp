#include <gtest/gtest.h>

#include <QTimer>

#include "session/board_operations.h"
#include "support/qstring_printer.h"
#include "support/sample_reports.h"
#include "support/session_fixture.h"

namespace tarvo::test {
namespace {

// A board that stops inside its last number for less than the quiet wait: the audit's read
// must not take the digits it has so far for the whole meter. The rest arrives on the first
// tick after the report's first part, so the test counts ticks and never the machine's pace.
TEST(ReportWait, ABoardThatStopsInsideTheLastNumberIsWaitedFor) {
    SessionFixture f({}, 20);
    ASSERT_TRUE(f.connect());
    const QByteArray report = sixPanelSample().toLatin1();
    const qsizetype cut = report.lastIndexOf("6005") + 2;
    bool asked = false;
    bool restIn = false;
    f.serial->onWrite = [&](const QByteArray& bytes) {
        if (bytes.contains('\x80') && !asked) {
            asked = true;
            f.serial->receiveLater(report.left(cut));
        }
    };
    // Connected after the session's own tick handler, so this runs once the wait has seen
    // the tick.
    for (const char* name : {"Timer1", "Timer2"}) {
        auto* timer = f.session.findChild<QTimer*>(QString::fromLatin1(name));
        ASSERT_NE(timer, nullptr) << name;
        QObject::connect(timer, &QTimer::timeout, [&] {
            if (!restIn && f.session.RxCount == cut && f.session.TickCount == 1) {
                restIn = true;
                f.serial->receive(report.mid(cut));
            }
        });
    }
    auto op = f.begin();
    const board::MeterRead read =
        done(board::readMeterReport(f.session, false, board::ReportEnd::WholeAndQuiet));
    ASSERT_TRUE(restIn);
    ASSERT_TRUE(read.report);
    EXPECT_EQ(read.report->coinInB[5].trimmed(), "6005");
    EXPECT_EQ(read.received, report.size());
}

}  // namespace
}  // namespace tarvo::test
