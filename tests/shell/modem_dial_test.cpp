#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <utility>

#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

// A refused number keeps the last good one; Cancel goes back to a direct line, whose connect
// needs no modem (a dial on this silent fake line would end in "NO ANSWER").
TEST(ModemDial, TheNumberTypedDecidesWhatTheNextConnectDoes) {
    WindowFixture f;
    RetreiveAccountingApp& w = f.w();
    f.prompts->inputAnswers = {"(02) 555-0100", "555\r0100", ""};
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().PhoneNumber, "025550100");
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().PhoneNumber, "025550100");
    ASSERT_EQ(f.prompts->messages.size(), 1u);
    EXPECT_EQ(f.prompts->messages[0].title, "Phone Number");
    EXPECT_EQ(f.prompts->messages[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(w.ButtonDial->toolTip().contains("025550100"));
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().PhoneNumber, "");
    EXPECT_FALSE(w.ButtonDial->toolTip().contains("025550100"));
    EXPECT_TRUE(f.connect());
}

// The modem is no board: the dial string goes out raw, without the address and length bytes
// of a multi-drop line; the session command after "CONNECT 9600" is addressed as usual.
TEST(ModemDial, TheDialStringIsNotFramed) {
    WindowFixture f(
        [](MemorySettingsStore& s) {
            s.preset("Options", "Cashless", "True");
            s.preset("Options", "MultiDropAddress", "5");
            s.preset("Options", "RTAddressBitDelay", "1");
        },
        20);  // 3 ticks to settle, 60 to give up: the answer comes well between
    RetreiveAccountingApp& w = f.w();
    ASSERT_TRUE(w.Option4->isChecked());
    f.prompts->inputAnswers = {"42"};
    w.ButtonDial->click();
    ASSERT_TRUE(f.idle());
    FakeSerialLine* line = f.serial.get();
    // Modems take seconds: the answer comes once the program waits for it, after the
    // settling wait (which ends by emptying the response box).
    bool dialled = false;
    line->onWrite = [&dialled](const QByteArray& bytes) { dialled |= bytes.startsWith("ATDT"); };
    QObject::connect(&w.session(), &BoardSession::textCleared, line, [line, &dialled] {
        if (std::exchange(dialled, false)) {
            QTimer::singleShot(0, line, [line] { line->receive("\r\nCONNECT 9600\r\n"); });
        }
    });
    w.Connect->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.session().Connected, 1);
    EXPECT_EQ(line->sentBytes(), QByteArray("ATDT42\r\x05\x03\x1d\x45\x01", 12));
    EXPECT_EQ(w.ResponseWindow->text(), "\r\nCONNECT 9600\r\n");
}

// A modem that never answers: closing the window ends the wait at once, not after 60 ticks.
TEST(ModemDial, ClosingTheWindowEndsTheWait) {
    WindowFixture f({}, 50);
    f.prompts->inputAnswers = {"42"};
    f.w().ButtonDial->click();
    ASSERT_TRUE(f.idle());
    f.serial->onWrite = [&f](const QByteArray& bytes) {
        if (bytes.startsWith("ATDT")) {
            QTimer::singleShot(0, &f.w(), [&f] { f.w().close(); });
        }
    };
    f.w().Connect->click();
    ASSERT_TRUE(f.idle());
    EXPECT_LT(f.w().session().TickCount, 60);  // a wait that ignores a close counts all 60
    EXPECT_EQ(f.w().session().Connected, 0);
}

}  // namespace
}  // namespace tarvo::test
