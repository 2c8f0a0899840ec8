#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "support/board_harness.h"

// The texts, the clock and terminal mode against the simulated board behind a Brisko system,
// which checks every target prefix.
namespace tarvo::test {
namespace {

TEST(EndToEndLocationLawClock, TheBoardStoresWhatItWasSentAndAnswersTypedKeys) {
    sim::BoardConfig config;
    config.requirePrefix = true;
    BoardHarness h(config);
    auto& w = h.w();
    w.Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    const sim::BoardState& board = h.board().state();

    w.txtLocationInfo[0]->setText("  Caf\u00e9 Lucky  ");
    w.txtLocationInfo[2]->setText("Main street 5");
    w.ButtonSendLocationInfo->click();
    ASSERT_TRUE(h.idle());
    for (int i = 0; i < 8; ++i) {
        w.TxtLawInfo[i]->setText(i % 3 ? QStringLiteral("Law %1").arg(i + 1) : QString());
    }
    w.ButtonSendLawInfo->click();
    ASSERT_TRUE(h.idle());
    w.platform().clock = [] { return QDateTime({2026, 3, 7}, {9, 5}); };
    w.ButtonSendTimeAndDate->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(h.waitFor([&] { return board.clock == sim::BoardClock{9, 5, 3, 7, 26}; }));
    EXPECT_EQ(board.location,
              (std::array<QByteArray, 4>{"Caf\xE9 Lucky", "", "Main street 5", ""}));
    EXPECT_EQ(board.law[1], "Law 2");
    EXPECT_EQ(board.law[7], "Law 8");
    EXPECT_EQ(board.law[6], "");
    EXPECT_EQ(w.SystemMessage->text(), "Time and Date Sent");

    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    ASSERT_TRUE(h.waitFor([&] { return w.ResponseWindow->text().endsWith("> "); }));
    for (const auto& [key, text] :
         {std::pair{Qt::Key_H, "h"}, {Qt::Key_I, "i"}, {Qt::Key_Return, "\r"}}) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(w.ResponseWindow, &event);
    }
    // The board echoes each key and answers Enter with a new prompt.
    EXPECT_TRUE(h.waitFor([&] { return w.ResponseWindow->text().count("> ") == 2; }));
    EXPECT_EQ(h.board().trace().mid(h.board().trace().size() - 6).join(' '),
              "1D 54 50 01 68 1D 54 50 01 69 1D 54 50 01 0D");
    w.ButtonTerminalMode->click();
    ASSERT_TRUE(h.idle());
    EXPECT_TRUE(
        h.waitFor([&] { return w.ResponseWindow->text().contains("LEAVING TERMINAL MODE"); }));
    EXPECT_FALSE(board.terminalMode);
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

}  // namespace
}  // namespace tarvo::test
