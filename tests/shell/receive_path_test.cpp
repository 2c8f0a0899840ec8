#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

TEST(ReceivePath, BoardTextReachesTheResponseAndStatusBoxes) {
    struct Case {
        const char* name;
        QByteArray input;
        QString response;
        QString status;
    } cases[] = {
        {"line ends", QByteArray("AB\r\nC\n"), "AB\r\nC\r\n", ""},
        {"lone CR", QByteArray("\r"), "", ""},
        {"status field", QByteArray("x\x1B/\x07\x01x\x01\n"), "x\r\n", "Counting pulses on  3 /"},
        {"six positions empty the box", QByteArray("old\x1B/\x07......\n"), "\r\n", ""},
        {"dropped bytes", QByteArray("a\x80\x13\x14z"), QString("a") + QChar(0x14) + "z", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowFixture f;
        auto& w = f.w();
        w.SystemMessage->clear();
        const int before = w.session().RxCount;
        f.serial->receive(c.input);
        EXPECT_EQ(w.ResponseWindow->text(), c.response);
        QCoreApplication::processEvents();  // the widget shows the same text, one line a line
        EXPECT_EQ(w.ResponseWindow->toPlainText(), QString(c.response).remove('\r'));
        EXPECT_EQ(w.SystemMessage->text(), c.status);
        EXPECT_EQ(w.session().RxCount, before + c.input.size());
    }
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

TEST(ReceivePath, ABreakIsReportedAndThePortReopened) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());
    const int opens = f.serial->openCount;
    f.serial->sendBreak();
    ASSERT_EQ(f.prompts->messages.size(), 1u);
    const auto& m = f.prompts->messages[0];
    EXPECT_EQ(m.text, QStringLiteral("Received BREAK!!!"));
    EXPECT_EQ(m.title, QStringLiteral("Error in Communication..."));
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(f.serial->openCount, opens + 1);
    EXPECT_TRUE(f.serial->isOpen());
}

}  // namespace
}  // namespace tarvo::test
