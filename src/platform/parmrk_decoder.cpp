#include "platform/parmrk_decoder.h"

namespace tarvo {

void ParmrkDecoder::feed(const QByteArray& chunk, std::vector<Item>& out) {
    for (char ch : chunk) {
        const auto b = static_cast<unsigned char>(ch);
        switch (state_) {
            case State::Plain:
                if (b == 0xFF) {
                    state_ = State::Mark;
                } else {
                    out.push_back({Item::Kind::Char, b});
                }
                break;
            case State::Mark:
                if (b == 0x00) {
                    state_ = State::MarkZero;
                } else {
                    // "\377\377" is a real 0xFF. Any other follower means the 0xFF was not
                    // doubled (marking was briefly off while the settings changed): keep both.
                    out.push_back({Item::Kind::Char, 0xFF});
                    if (b != 0xFF) {
                        out.push_back({Item::Kind::Char, b});
                    }
                    state_ = State::Plain;
                }
                break;
            case State::MarkZero:
                if (b == 0x00) {
                    out.push_back({Item::Kind::Break, 0});
                } else {
                    out.push_back({Item::Kind::ParityError, b});
                }
                state_ = State::Plain;
                break;
        }
    }
}

}  // namespace tarvo
