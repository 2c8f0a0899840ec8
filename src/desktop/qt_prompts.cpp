#include "desktop/qt_prompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "platform/app_identity.h"

namespace tarvo {
namespace {

QString titleOrDefault(const QString& title) {
    return title.isEmpty() ? QString::fromLatin1(kApplicationTitle) : title;
}

QMessageBox::Icon toQtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQtButtons(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MsgButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MsgButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

// A box closed without a button (window manager, Escape) gives the safest answer it has.
MsgAnswer dismissed(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::YesNo:
            return MsgAnswer::No;
        default:
            return MsgAnswer::Cancel;
    }
}

}  // namespace

MsgAnswer QtPrompts::message(const QString& text, MsgButtons buttons, MsgIcon icon,
                             const QString& title) {
    QMessageBox box(toQtIcon(icon), titleOrDefault(title), text, toQtButtons(buttons),
                    QApplication::activeWindow());
    box.setObjectName(QString::fromLatin1(kMessageBoxName));
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        case QMessageBox::Cancel:
            return MsgAnswer::Cancel;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        default:
            return dismissed(buttons);
    }
}

QString QtPrompts::input(const QString& prompt, const QString& title, const QString& defaultText) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QString::fromLatin1(kInputBoxName));
    dialog.setWindowTitle(titleOrDefault(title));
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.textValue();
}

}  // namespace tarvo
