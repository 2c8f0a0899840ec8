#pragma once

#include <QByteArray>
#include <QList>

#include "model/board_model.h"

namespace tarvo::sim::testing {

// Everything the board answers, delays ignored.
inline QByteArray joined(const QList<Reply>& replies) {
    QByteArray out;
    for (const Reply& r : replies) {
        out += r.bytes;
    }
    return out;
}

// Feeds each piece as its own chunk, as the program hands a command over in pieces.
inline QByteArray send(BoardModel& board, const QList<QByteArray>& pieces) {
    QByteArray out;
    for (const QByteArray& piece : pieces) {
        out += joined(board.receive(piece));
    }
    return out;
}

inline QByteArray send(BoardModel& board, const QByteArray& bytes) {
    return send(board, QList<QByteArray>{bytes});
}

}  // namespace tarvo::sim::testing
