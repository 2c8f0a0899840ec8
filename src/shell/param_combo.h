#pragma once

#include <QComboBox>

namespace tarvo {

// An editable combo box whose items carry an integer code, and which tells "an item is
// selected" apart from "the edit field holds typed text": typed text that differs from the
// selected item's text leaves no item selected.
class ParamCombo : public QComboBox {
    Q_OBJECT
  public:
    explicit ParamCombo(QWidget* parent = nullptr);

    void addCodedItem(const QString& text, int code);
    // -1 when no item is selected.
    int listIndex() const { return currentIndex(); }
    void setListIndex(int index);
    // Code of the selected item; only meaningful when listIndex() >= 0.
    int selectedCode() const;

    QString text() const { return currentText(); }
    // Sets the edit text as typing would: the selection is dropped unless it matches.
    void setText(const QString& text);

  signals:
    // The edit text changed, by typing, by code or by choosing an item.
    void textChanged();

  private:
    void onEdited(const QString& text);
    bool updating_ = false;
};

}  // namespace tarvo
