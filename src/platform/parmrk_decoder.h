#pragma once

#include <QByteArray>
#include <vector>

namespace tarvo {

// Undoes the kernel's marking of received bytes (PARMRK): "\377\0\0" is a BREAK, "\377\0c"
// the byte c received with a parity or framing error, "\377\377" a real 0xFF. Keeps its
// state across chunks, since a marking may be split between two reads.
class ParmrkDecoder {
  public:
    struct Item {
        enum class Kind { Char, ParityError, Break };
        Kind kind;
        unsigned char byte = 0;  // Char and ParityError
        bool operator==(const Item&) const = default;
    };

    void feed(const QByteArray& chunk, std::vector<Item>& out);
    // Forgets a half-seen marking (the port was closed or reopened).
    void reset() { state_ = State::Plain; }

  private:
    enum class State { Plain, Mark, MarkZero };
    State state_ = State::Plain;
};

}  // namespace tarvo
