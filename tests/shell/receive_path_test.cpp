#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

// How the text and status are made of the board's bytes is the session's (ReceivedText in
// tests/session); here only that both reach their boxes, the widget one line a line.
TEST(ReceivePath, BoardTextReachesTheResponseAndStatusBoxes) {
    WindowFixture f;
    auto& w = f.w();
    f.serial->receive(QByteArray("AB\r\nC\x1B/\x07\x01x\x01\n"));
    EXPECT_EQ(w.ResponseWindow->text(), "AB\r\nC\r\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ResponseWindow->toPlainText(), "AB\nC\n");
    EXPECT_EQ(w.SystemMessage->text(), "Counting pulses on  3 /");
}

TEST(ReceivePath, InTerminalViewTheCaretFollowsTheText) {
    WindowFixture f;
    auto& w = f.w();
    w.TerminalView = true;
    w.ResponseWindow->setText(QStringLiteral("hello"));
    w.ResponseWindow->moveCaretToEnd();
    QTextCursor start = w.ResponseWindow->textCursor();
    start.movePosition(QTextCursor::Start);
    w.ResponseWindow->setTextCursor(start);
    f.serial->receive("abc");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ResponseWindow->textCursor().position(), 8);
    EXPECT_FALSE(w.ResponseWindow->textCursor().hasSelection());
}

}  // namespace
}  // namespace tarvo::test
