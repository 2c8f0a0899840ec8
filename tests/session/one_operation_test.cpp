#include <gtest/gtest.h>

#include <QTimer>

#include "core/frames.h"
#include "session/board_operations.h"
#include "support/session_fixture.h"

// Only one operation uses the board at a time, and no frame is ever split by another.
namespace tarvo::test {
namespace {

TEST(OneOperation, ASecondOperationIsRefusedUntilTheFirstEnds) {
    SessionFixture f;
    ASSERT_TRUE(f.connect());
    std::vector<bool> busy;
    QObject::connect(&f.session, &BoardSession::busyChanged,
                     [&busy](bool b) { busy.push_back(b); });
    {
        auto first = f.session.begin();
        ASSERT_TRUE(first);
        EXPECT_TRUE(f.session.busy());
        EXPECT_FALSE(f.session.begin());
    }
    EXPECT_FALSE(f.session.busy());
    EXPECT_TRUE(f.session.begin());
    EXPECT_EQ(busy, (std::vector<bool>{true, false, true, false}));
}

// A stop ends the running operation's waits at once and leaves its remaining frames unsent;
// the next operation starts afresh.
TEST(OneOperation, AStopEndsTheWaitsAndTheRestOfTheOperation) {
    SessionFixture f({}, 50);
    ASSERT_TRUE(f.connect());
    {
        auto op = f.session.begin();
        QTimer::singleShot(20, &f.session, [&f] { f.session.requestStop(); });
        EXPECT_FALSE(f.session.waitTicks(1000));
        EXPECT_TRUE(f.session.stopping());
        EXPECT_FALSE(f.session.SendToTarvoBoard(QByteArray("\x05")));
        EXPECT_TRUE(f.serial->sent.empty());
    }
    EXPECT_FALSE(f.session.stopping());
    auto next = f.session.begin();
    EXPECT_TRUE(f.session.SendToTarvoBoard(QByteArray("\x05")));
}

// A key typed while the frame of the key before waits after its address byte goes out after
// that frame, whole: address, length, key; address, length, key.
TEST(TerminalKeys, AKeyTypedDuringTheAddressPauseWaitsForTheFrameBefore) {
    SessionFixture f(multiDropAt(" 7"));
    f.session.AddressBitDelay = 3;
    ASSERT_TRUE(f.connect());
    auto* timer = f.session.findChild<QTimer*>(QStringLiteral("RealTimer"));
    bool typed = false;
    bool queued = false;
    bool otherRefused = false;
    QObject::connect(timer, &QTimer::timeout, [&] {
        if (!typed) {
            typed = true;
            queued = f.session.sendKeys("b");
            // Nothing else gets the board meanwhile.
            otherRefused = !f.session.begin();
        }
    });
    EXPECT_TRUE(f.session.sendKeys("a"));
    EXPECT_TRUE(queued);
    EXPECT_TRUE(otherRefused);
    EXPECT_EQ(f.serial->sentBytes().toHex(' '), QByteArray("07 01 61 07 01 62"));
    EXPECT_FALSE(f.session.busy());
}

// Keys that arrive while another operation holds the board never reach the line.
TEST(TerminalKeys, KeysWhileAnotherOperationRunsAreNotSent) {
    SessionFixture f;
    ASSERT_TRUE(f.connect());
    auto op = f.session.begin();
    EXPECT_FALSE(f.session.sendKeys("x"));
    EXPECT_TRUE(f.serial->sent.empty());
}

// Over USB, a click while a reply is being read is refused: the reply is read whole by the
// operation that asked for it.
TEST(OneOperation, OverUsbAReplyIsReadWholeByItsOwnOperation) {
    LinkOptions usb;
    usb.interfacePosition = LinkOptions::kUsbPosition;
    usb.target = Target::Kit;
    SessionFixture f(usb);
    ASSERT_TRUE(f.connect());
    f.usb->reads = {"\003abc", "\003def"};
    bool secondRefused = false;
    QObject::connect(&f.session, &BoardSession::textAppended, [&](const QString& t) {
        if (t == "b") {
            secondRefused = !f.session.begin();
        }
    });
    auto op = f.session.begin();
    EXPECT_TRUE(board::viewLog(f.session));
    EXPECT_TRUE(secondRefused);
    EXPECT_EQ(f.session.text(), "abcdef");
    EXPECT_EQ(f.usb->written(), frames::viewLog().joined());
}

}  // namespace
}  // namespace tarvo::test
