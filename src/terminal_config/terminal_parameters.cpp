#include "terminal_config/terminal_parameters.h"

#include <QLineEdit>
#include <QPushButton>

#include "shell/main_window.h"
#include "shell/param_combo.h"

namespace tarvo {

TerminalParameters::TerminalParameters(RetreiveAccountingApp& w) : w_(w) {}

void TerminalParameters::ChangeParameters(int index) {
    // The USB panels are never edited in place.
    if (w_.usbChosen()) {
        return;
    }
    const std::pair<QLineEdit*, ParamCombo*> pairs[] = {
        {w_.PulseInMultiplier[index], w_.cmbPulseMultiplier[index]},
        {w_.PulseInPerPoint[index], w_.cmbPulseValue[index]},
        {w_.ValueIn[index], w_.cmbValueIn[index]},
    };
    QPushButton* write = w_.cmdWriteToTarvo[index];
    for (const auto& [box, combo] : pairs) {
        const QString shown = box->text();
        if (shown.isEmpty()) {
            write->setVisible(false);
            combo->setVisible(false);
            continue;
        }
        combo->setVisible(true);
        // No early exit: every equal item is selected in turn, so the last one wins.
        for (int i = 0; i < combo->count(); ++i) {
            if (combo->itemText(i) == shown) {
                combo->setListIndex(i);
            }
        }
        write->setVisible(true);
    }
}

void TerminalParameters::cmbPulseValue_Change(int index) {
    typingAid(*w_.cmbPulseValue[index]);
}

void TerminalParameters::cmbPulseMultiplier_Change(int index) {
    typingAid(*w_.cmbPulseMultiplier[index]);
}

void TerminalParameters::cmbValueIn_Change(int index) {
    typingAid(*w_.cmbValueIn[index]);
}

void TerminalParameters::typingAid(ParamCombo& combo) {
    if (combo.listIndex() >= 0) {
        return;
    }
    const QString typed = combo.text().toUpper();
    for (int i = 0; i < combo.count(); ++i) {
        if (combo.itemText(i).toUpper() == typed) {
            // Selecting replaces the typed text with the item's own spelling.
            combo.setListIndex(i);
            return;
        }
    }
}

}  // namespace tarvo
