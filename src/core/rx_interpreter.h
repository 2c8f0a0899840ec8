#pragma once

#include <QString>
#include <cstdint>

namespace tarvo {

// What one received character does to the response box and the status box.
struct RxEffect {
    enum Kind {
        Nothing,
        Append,              // append `ch`
        LineBreak,           // append CR LF
        ClearThenLineBreak,  // empty the box, then append CR LF
        Status,              // set the status box to `status`
    };
    Kind kind = Nothing;
    char ch = 0;
    QString status;
};

// The board-output interpreter: plain text, line ends, and the status field ESC "/" BEL in
// which an SOH at position k reports pulse counting on terminal k.
class RxInterpreter {
  public:
    RxEffect feed(unsigned char c);

    int16_t state() const { return rxState_; }
    void setState(int16_t s) { rxState_ = s; }

  private:
    int16_t rxState_ = 0;
    int32_t spinnerCount_ = 0;
};

}  // namespace tarvo
