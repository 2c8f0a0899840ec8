#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/prompts.h"

namespace tarvo::test {

// Message and input boxes that answer from a script and remember what they were asked.
class FakePrompts : public Prompts {
  public:
    struct Message {
        QString text;
        MsgButtons buttons;
        MsgIcon icon;
        QString title;
        bool operator==(const Message&) const = default;
    };
    struct Input {
        QString prompt;
        QString title;
        QString defaultText;
        bool operator==(const Input&) const = default;
    };

    std::vector<Message> messages;
    std::vector<Input> inputs;

    // Answers in order; when empty a message gets Ok (Ok boxes) or Yes (Yes/No boxes) and an
    // input gets "".
    std::deque<MsgAnswer> answers;
    std::deque<QString> inputAnswers;

    // Texts of all messages, in order.
    QStringList messageTexts() const {
        QStringList out;
        for (const auto& m : messages) {
            out << m.text;
        }
        return out;
    }

    MsgAnswer message(const QString& text, MsgButtons buttons, MsgIcon icon,
                      const QString& title) override {
        messages.push_back({text, buttons, icon, title});
        if (answers.empty()) {
            return buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel ? MsgAnswer::Ok
                                                                                : MsgAnswer::Yes;
        }
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    QString input(const QString& prompt, const QString& title,
                  const QString& defaultText) override {
        inputs.push_back({prompt, title, defaultText});
        if (inputAnswers.empty()) {
            return {};
        }
        QString a = inputAnswers.front();
        inputAnswers.pop_front();
        return a;
    }
};

}  // namespace tarvo::test
