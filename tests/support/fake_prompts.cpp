#include "support/fake_prompts.h"

namespace tarvo::test {

QStringList FakePrompts::messageTexts() const {
    QStringList out;
    for (const auto& m : messages) {
        out << m.text;
    }
    return out;
}

MsgAnswer FakePrompts::message(const QString& text, MsgButtons buttons, MsgIcon icon,
                               const QString& title) {
    messages.push_back({text, buttons, icon, title});
    if (!answers.empty()) {
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel ? MsgAnswer::Ok
                                                                        : MsgAnswer::Yes;
}

QString FakePrompts::input(const QString& prompt, const QString& title,
                           const QString& defaultText) {
    inputs.push_back({prompt, title, defaultText});
    if (!inputAnswers.empty()) {
        QString a = inputAnswers.front();
        inputAnswers.pop_front();
        return a;
    }
    return {};
}

}  // namespace tarvo::test
