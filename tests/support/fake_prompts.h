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
    QStringList messageTexts() const;

    MsgAnswer message(const QString& text, MsgButtons buttons, MsgIcon icon,
                      const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
};

}  // namespace tarvo::test
