#pragma once

#include "platform/prompts.h"

namespace tarvo {

// Modal message and input boxes over the active window. Object names "tarvoMessageBox" and
// "tarvoInputBox" let window tests find them.
class QtPrompts : public Prompts {
  public:
    static constexpr const char* kMessageBoxName = "tarvoMessageBox";
    static constexpr const char* kInputBoxName = "tarvoInputBox";

    MsgAnswer message(const QString& text, MsgButtons buttons, MsgIcon icon,
                      const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
};

}  // namespace tarvo
