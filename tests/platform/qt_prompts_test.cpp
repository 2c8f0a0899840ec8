#include <gtest/gtest.h>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/qt_prompts.h"

namespace tarvo {
namespace {

// Acts on the first modal box with this object name once it shows.
template <typename Box>
void whenShown(const char* name, std::function<void(Box*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, name, act] {
        auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
        if (box && box->objectName() == QLatin1String(name) && box->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start(5);
}

struct MessageCase {
    MsgButtons buttons;
    QMessageBox::StandardButton click;
    MsgAnswer expected;
};

TEST(QtPrompts, MessageBoxAnswersWithTheClickedButton) {
    const std::vector<MessageCase> cases = {
        {MsgButtons::Ok, QMessageBox::Ok, MsgAnswer::Ok},
        {MsgButtons::OkCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
        {MsgButtons::YesNo, QMessageBox::Yes, MsgAnswer::Yes},
        {MsgButtons::YesNo, QMessageBox::No, MsgAnswer::No},
        {MsgButtons::YesNoCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
    };
    QtPrompts prompts;
    for (const auto& c : cases) {
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenShown<QMessageBox>(QtPrompts::kMessageBoxName, [&](QMessageBox* box) {
            title = box->windowTitle();
            icon = box->icon();
            box->button(c.click)->click();
        });
        EXPECT_EQ(prompts.message("Sure?", c.buttons, MsgIcon::Critical, ""), c.expected);
        EXPECT_EQ(title, "Tarvo Board Configuration Utility");
        EXPECT_EQ(icon, QMessageBox::Critical);
    }
}

TEST(QtPrompts, InputBoxReturnsTheTextOrEmptyOnCancel) {
    QtPrompts prompts;
    for (bool accept : {true, false}) {
        QString title;
        whenShown<QInputDialog>(QtPrompts::kInputBoxName, [&](QInputDialog* dialog) {
            title = dialog->windowTitle();
            EXPECT_EQ(dialog->textValue(), "555");
            dialog->setTextValue("0123 456");
            accept ? dialog->accept() : dialog->reject();
        });
        EXPECT_EQ(prompts.input("Number to dial", "Dial", "555"), accept ? "0123 456" : "");
        EXPECT_EQ(title, "Dial");
    }
}

}  // namespace
}  // namespace tarvo
