#pragma once

#include <QString>

namespace tarvo {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// Modal message and input boxes.
class Prompts {
  public:
    virtual ~Prompts() = default;
    // An empty title shows the application title.
    virtual MsgAnswer message(const QString& text, MsgButtons buttons, MsgIcon icon,
                              const QString& title) = 0;
    // Returns the text entered; Cancel returns "".
    virtual QString input(const QString& prompt, const QString& title,
                          const QString& defaultText) = 0;
};

}  // namespace tarvo
