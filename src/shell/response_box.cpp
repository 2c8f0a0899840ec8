#include "shell/response_box.h"

#include <QMimeData>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>

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

bool keepsColumns(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char(' '));
    for (char16_t c = 0x21; c < 0x7F; ++c) {
        if (metrics.horizontalAdvance(QChar(c)) != advance) {
            return false;
        }
    }
    return advance > 0;
}

QFont columnFont(const QFont& preferred) {
    if (keepsColumns(preferred)) {
        return preferred;
    }
    // Families flagged fixed-pitch first: they are the likely ones, and the scan stops early.
    QStringList families = QFontDatabase::families();
    std::stable_partition(families.begin(), families.end(),
                          [](const QString& f) { return QFontDatabase::isFixedPitch(f); });
    for (const QString& family : families) {
        QFont candidate = preferred;
        candidate.setFamily(family);
        if (keepsColumns(candidate)) {
            return candidate;
        }
    }
    return preferred;
}

ResponseBox::ResponseBox(QWidget* parent) : QPlainTextEdit(parent) {
    // A terminal: the board lays its report out in columns for a fixed-pitch printer, so its
    // lines keep their width and the box scrolls sideways instead of wrapping them.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSizeF(font().pointSizeF());
    setFont(columnFont(fixed));
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
    lineEnds_ += text.count(QLatin1Char('\n'));
    bound(true);
    scheduleFlush();
}

void ResponseBox::setText(const QString& text) {
    text_ = text;
    lineEnds_ = text_.count(QLatin1Char('\n'));
    pending_.clear();
    bound(false);
    widgetCut_ = 0;
    widgetCutAll_ = false;
    updating_ = true;
    setPlainText(toWidget(text_));
    updating_ = false;
}

void ResponseBox::bound(bool slack) {
    const qsizetype maxChars = slack ? kMaxChars + kMaxChars / 8 : kMaxChars;
    const qsizetype maxLines = slack ? kMaxLines + kMaxLines / 8 : kMaxLines;
    // The widget shows one line more than there are line ends.
    if (text_.size() <= maxChars && lineEnds_ < maxLines) {
        return;
    }
    qsizetype cut = 0;
    for (qsizetype drop = lineEnds_ - (kMaxLines - 1); drop > 0; --drop) {
        cut = text_.indexOf(QLatin1Char('\n'), cut) + 1;
    }
    if (text_.size() - cut > kMaxChars) {
        // At a line start where there is one, so no CR LF pair is split.
        cut = text_.size() - kMaxChars;
        const qsizetype lineEnd = text_.indexOf(QLatin1Char('\n'), cut - 1);
        cut = lineEnd >= 0 ? lineEnd + 1 : cut;
    }
    if (cut == 0) {
        return;
    }
    const qsizetype droppedEnds = QStringView(text_).left(cut).count(QLatin1Char('\n'));
    const qsizetype shown = text_.size() - pending_.size();
    if (cut <= shown) {
        // The widget keeps one paragraph break where the text has CR LF.
        widgetCut_ += cut - droppedEnds;
    } else {
        widgetCutAll_ = true;
        widgetCut_ = 0;
        pending_.remove(0, cut - shown);
    }
    text_.remove(0, cut);
    lineEnds_ -= droppedEnds;
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

void ResponseBox::insertFromMimeData(const QMimeData* source) {
    if (source && source->hasText() && onPaste && onPaste(source->text())) {
        return;
    }
    flush();
    QPlainTextEdit::insertFromMimeData(source);
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
    bound(false);
    updating_ = true;
    if (widgetCutAll_) {
        document()->clear();
    } else if (widgetCut_ > 0) {
        QTextCursor cursor(document());
        cursor.setPosition(static_cast<int>(widgetCut_), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    widgetCut_ = 0;
    widgetCutAll_ = false;
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
    lineEnds_ = text_.count(QLatin1Char('\n'));
}

}  // namespace tarvo
