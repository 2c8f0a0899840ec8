#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace tarvo {

// The board's reply box. Its text is kept exactly as received (line ends are CR LF) and grows
// by appending in place, so a character costs the same however long the text already is.
// The widget is brought up to date once per event-loop turn rather than once per character.
class ResponseBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit ResponseBox(QWidget* parent = nullptr);

    void appendText(const QString& text);
    void setText(const QString& text);
    void clearText() { setText(QString()); }
    // The exact text, CR LF line ends included.
    const QString& text() const { return text_; }
    int length() const { return text_.size(); }
    // Caret at the end, nothing selected.
    void moveCaretToEnd();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void scheduleFlush();
    void flush();
    void syncFromWidget();

    QString text_;
    QString pending_;
    bool flushScheduled_ = false;
    bool caretToEnd_ = false;
    bool updating_ = false;
};

}  // namespace tarvo
