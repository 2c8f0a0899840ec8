#include <gtest/gtest.h>

#include "audit/audit_runner.h"
#include "drivers/pty_board.h"
#include "model/board_model.h"
#include "platform/port_map.h"
#include "platform/qt_serial_line.h"
#include "session/board_session.h"
#include "support/fake_prompts.h"
#include "support/qstring_printer.h"
#include "support/session_fixture.h"

// The audit reads a report only once the whole of it is in, however the board paces it.
namespace tarvo::test {
namespace {

// The board stops before its last meter line for longer than the audit's quiet wait (two
// ticks) and well within its full wait (fifteen): the record must still hold that line.
TEST(AuditWholeReport, APauseBeforeTheLastLineIsWaitedOut) {
    constexpr int kTickMs = 30;
    sim::BoardConfig config;
    config.reportPauseMs = 5 * kTickMs;
    sim::BoardModel model(config);
    auto& t = model.state().terminals;
    for (int i = 0; i < 6; ++i) {
        t[static_cast<size_t>(i)].coin2 = 100 + i;
    }
    sim::PtyBoard pty(model);
    ASSERT_TRUE(pty.open());
    PortMap ports;
    ports.setOverride(1, pty.slavePath());
    BoardSession session(
        {std::make_shared<QtSerialLine>(ports), nullptr, std::make_shared<FakePrompts>(), kTickMs});
    AuditRunner runner(session, [] { return QDateTime::currentDateTime(); });
    const auto readings = done(runner.run({0, {}, AuditTarget::System, {}}));
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].error, "");
    ASSERT_EQ(readings[0].terminals.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(readings[0].terminals[static_cast<size_t>(i)].coinInB.trimmed().toInt(), 100 + i)
            << "terminal " << i + 1;
    }
}

}  // namespace
}  // namespace tarvo::test
