#pragma once

#include <QFont>
#include <QPlainTextEdit>
#include <QString>
#include <functional>

namespace tarvo {

// True when every printable character the board sends (20h to 7Eh) takes one advance in
// `font`, so the board's columns line up. Fonts flagged proportional may pass (their other
// glyphs may be wider), and that is all the box needs.
bool keepsColumns(const QFont& font);
// `preferred` if it keeps columns, otherwise the first installed family that does, at the
// same size; `preferred` again if none does.
QFont columnFont(const QFont& preferred);

// The board's reply box. Its text is kept exactly as received (line ends are CR LF) and grows
// by appending in place, so a character costs the same however long the text already is.
// The widget is brought up to date once per event-loop turn rather than once per character.
// A terminal left open for days keeps only the newest text: at most kMaxLines lines and
// kMaxChars characters, the oldest whole lines dropped first.
class ResponseBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    static constexpr qsizetype kMaxLines = 20000;
    static constexpr qsizetype kMaxChars = 2 * 1024 * 1024;

    explicit ResponseBox(QWidget* parent = nullptr);

    void appendText(const QString& text);
    void setText(const QString& text);
    void clearText() { setText(QString()); }
    // The exact text, CR LF line ends included.
    const QString& text() const { return text_; }
    int length() const { return text_.size(); }
    // Caret at the end, nothing selected.
    void moveCaretToEnd();
    // Offered every paste (Ctrl+V, Shift+Insert, a middle click, the menu, a drop) first;
    // when it returns true the text is not put in the box.
    std::function<bool(const QString&)> onPaste;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

  private:
    void scheduleFlush();
    void flush();
    void syncFromWidget();
    // Drops the oldest text beyond the bounds; `slack` lets a flood with no event-loop turn
    // run past them by an eighth before paying for a cut.
    void bound(bool slack);

    QString text_;
    qsizetype lineEnds_ = 0;  // LFs in text_
    // The widget's share of cuts not yet applied: characters to drop from its start, or all.
    qsizetype widgetCut_ = 0;
    bool widgetCutAll_ = false;
    QString pending_;
    bool flushScheduled_ = false;
    bool caretToEnd_ = false;
    bool updating_ = false;
};

}  // namespace tarvo
