#include "model/multidrop.h"

#include <utility>

namespace tarvo::sim {

namespace {
// A gap this many address pauses long is an idle line, not an address pause.
constexpr int kIdleFactor = 8;
}  // namespace

QList<MultiDropDeframer::Frame> MultiDropDeframer::feedNineBit(const QList<quint16>& words) {
    QList<Frame> out;
    for (quint16 w : words) {
        const auto byte = static_cast<quint8>(w & 0xFF);
        if (w & 0x100) {
            address(out, byte);
        } else {
            other(out, byte);
        }
    }
    if (!stray_.data.isEmpty()) {
        stray_.error = QStringLiteral("data bytes outside a frame (length byte too small)");
        out << std::exchange(stray_, {});
    }
    return out;
}

QList<MultiDropDeframer::Frame> MultiDropDeframer::feedTimed(const QByteArray& chunk,
                                                             qint64 timestampMs) {
    QList<Frame> out;
    const qint64 gap = timestampMs - lastChunkMs_;
    if (seenChunk_ && gap >= pauseMs_ && state_ == State::Data) {
        // The sender paused in the middle of a frame: the frame ended early. After a short
        // pause the byte before it was the next address; after a long one the line was idle.
        cur_.error = QStringLiteral("frame shorter than its length byte");
        if (gap >= kIdleFactor * pauseMs_) {
            out << std::exchange(cur_, {});
            state_ = State::Address;
        } else {
            char last;
            if (!cur_.data.isEmpty()) {
                last = cur_.data.back();
                cur_.data.chop(1);
            } else {
                last = static_cast<char>(cur_.length);
                cur_.length = -1;
            }
            out << std::exchange(cur_, {});
            cur_.address = static_cast<quint8>(last);
            state_ = State::Length;
        }
    }
    seenChunk_ = true;
    lastChunkMs_ = timestampMs;
    for (char c : chunk) {
        const auto byte = static_cast<quint8>(c);
        if (state_ == State::Address) {
            address(out, byte);
        } else {
            other(out, byte);
        }
    }
    return out;
}

void MultiDropDeframer::address(QList<Frame>& out, quint8 byte) {
    if (!stray_.data.isEmpty()) {
        stray_.error = QStringLiteral("data bytes outside a frame (length byte too small)");
        out << std::exchange(stray_, {});
    }
    if (state_ != State::Address) {
        cur_.error = QStringLiteral("frame shorter than its length byte");
        out << std::exchange(cur_, {});
    }
    cur_ = Frame{};
    cur_.address = byte;
    state_ = State::Length;
}

void MultiDropDeframer::other(QList<Frame>& out, quint8 byte) {
    switch (state_) {
        case State::Address:
            stray_.data += static_cast<char>(byte);
            return;
        case State::Length:
            cur_.length = byte;
            state_ = State::Data;
            if (byte == 0) {
                complete(out);
            }
            return;
        case State::Data:
            cur_.data += static_cast<char>(byte);
            if (cur_.data.size() == cur_.length) {
                complete(out);
            }
            return;
    }
}

void MultiDropDeframer::complete(QList<Frame>& out) {
    out << std::exchange(cur_, {});
    state_ = State::Address;
}

}  // namespace tarvo::sim
