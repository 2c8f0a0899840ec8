#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvo::sim {

// Splits a 9-bit multi-drop line into frames: an address byte (parity bit set), a length
// byte, and that many data bytes.
class MultiDropDeframer {
  public:
    struct Frame {
        int address = -1;  // -1: bytes that belong to no address
        int length = -1;   // -1: the length byte never came
        QByteArray data;
        QString error;  // set when the frame broke the framing rules
    };

    explicit MultiDropDeframer(int pauseMs = 12) : pauseMs_(pauseMs) {}

    // Words whose bit 8 carries the parity (address) bit, as a 9-bit line delivers them.
    QList<Frame> feedNineBit(const QList<quint16>& words);

    // A line that lost the parity bit (a pseudo-terminal): the sender pauses after each
    // address byte, so a gap of at least pauseMs before `chunk` marks the byte just before
    // it as an address. Counting places every byte; the gaps catch a wrong length byte.
    QList<Frame> feedTimed(const QByteArray& chunk, qint64 timestampMs);

  private:
    enum class State { Address, Length, Data };
    void address(QList<Frame>& out, quint8 byte);
    void other(QList<Frame>& out, quint8 byte);
    void complete(QList<Frame>& out);

    int pauseMs_;
    State state_ = State::Address;
    Frame cur_;
    Frame stray_;  // data bytes with no frame to belong to
    bool seenChunk_ = false;
    qint64 lastChunkMs_ = 0;
};

}  // namespace tarvo::sim
