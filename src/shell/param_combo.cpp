#include "shell/param_combo.h"

#include <QLineEdit>

namespace tarvo {

ParamCombo::ParamCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    // Never narrower than its longest item ("DOLLAR"), in whatever font is in force.
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setCurrentIndex(-1);
    connect(lineEdit(), &QLineEdit::textEdited, this, &ParamCombo::onEdited);
    connect(this, &QComboBox::activated, this, [this](int) {
        if (!updating_) {
            emit textChanged();
        }
    });
}

void ParamCombo::addCodedItem(const QString& text, int code) {
    updating_ = true;
    addItem(text, code);
    setCurrentIndex(-1);
    updating_ = false;
}

void ParamCombo::setListIndex(int index) {
    updating_ = true;
    setCurrentIndex(index);
    updating_ = false;
    emit textChanged();
}

int ParamCombo::selectedCode() const {
    return currentIndex() >= 0 ? itemData(currentIndex()).toInt() : 0;
}

void ParamCombo::setText(const QString& text) {
    onEdited(text);
}

void ParamCombo::onEdited(const QString& text) {
    if (updating_) {
        return;
    }
    updating_ = true;
    const int cursor = lineEdit()->cursorPosition();
    if (currentIndex() >= 0 && itemText(currentIndex()) != text) {
        // Dropping the selection empties the edit field; put the typed text back.
        setCurrentIndex(-1);
    }
    if (lineEdit()->text() != text) {
        lineEdit()->setText(text);
        lineEdit()->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
    }
    updating_ = false;
    emit textChanged();
}

}  // namespace tarvo
