#include "shell/response_box.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

namespace tarvo {

namespace {
// The widget keeps paragraphs; the text we hand out keeps the board's CR LF. Only CR LF pairs
// ever enter the text (a lone CR is never appended), so the two map one to one.
QString toWidget(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}
QString fromWidget(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return out;
}
}  // namespace

ResponseBox::ResponseBox(QWidget* parent) : QPlainTextEdit(parent) {
    // A terminal: the board lays its report out in columns for a fixed-pitch printer, so its
    // lines keep their width and the box scrolls sideways instead of wrapping them.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSizeF(font().pointSizeF());
    setFont(fixed);
    setUndoRedoEnabled(false);
    // Typing by the user (terminal mode leaves keys to the box) changes the text too.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!updating_) {
            syncFromWidget();
        }
    });
}

void ResponseBox::appendText(const QString& text) {
    text_.append(text);
    pending_.append(text);
    scheduleFlush();
}

void ResponseBox::setText(const QString& text) {
    text_ = text;
    pending_.clear();
    updating_ = true;
    setPlainText(toWidget(text));
    updating_ = false;
}

void ResponseBox::moveCaretToEnd() {
    caretToEnd_ = true;
    if (pending_.isEmpty()) {
        flush();
    }
}

void ResponseBox::keyPressEvent(QKeyEvent* event) {
    // What the user types lands after everything received so far.
    flush();
    QPlainTextEdit::keyPressEvent(event);
}

void ResponseBox::scheduleFlush() {
    if (flushScheduled_) {
        return;
    }
    flushScheduled_ = true;
    QTimer::singleShot(0, this, [this] { flush(); });
}

void ResponseBox::flush() {
    flushScheduled_ = false;
    updating_ = true;
    if (!pending_.isEmpty()) {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(toWidget(pending_));
        pending_.clear();
    }
    if (caretToEnd_) {
        caretToEnd_ = false;
        QTextCursor cursor = textCursor();
        cursor.movePosition(QTextCursor::End);
        setTextCursor(cursor);
        ensureCursorVisible();
    }
    updating_ = false;
}

void ResponseBox::syncFromWidget() {
    pending_.clear();
    text_ = fromWidget(toPlainText());
}

}  // namespace tarvo
