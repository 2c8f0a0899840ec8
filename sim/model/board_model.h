#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

#include "model/board_state.h"
#include "model/command_reader.h"
#include "model/multidrop.h"

namespace tarvo::sim {

// Bytes the board sends, after waiting delayMs from the previous reply (or from the
// moment it received what it answers).
struct Reply {
    QByteArray bytes;
    int delayMs = 0;
};

// A Tarvo Board as its line sees it: bytes in, replies out, state kept. Time enters only
// through the timestamps given with each received chunk and the delays of the replies.
class BoardModel {
  public:
    explicit BoardModel(BoardConfig config = {});

    // A chunk as read from a line without the parity bit.
    QList<Reply> receive(const QByteArray& bytes, qint64 timestampMs = 0);
    // Words of a 9-bit line (bit 8: the address bit), for a multi-drop board.
    QList<Reply> receiveNineBit(const QList<quint16>& words, qint64 timestampMs = 0);
    // The line dropped: a modem in front goes back on hook.
    void hangUp();

    BoardState& state() { return state_; }
    const BoardState& state() const { return state_; }
    const BoardConfig& config() const { return config_; }
    bool modemOnline() const { return modemOnline_; }

    // One line per frame received, in hexadecimal; lines with a protocol error end in
    // "  !! " and the error.
    const QStringList& trace() const { return trace_; }
    const QStringList& protocolErrors() const { return errors_; }
    void setTraceSink(std::function<void(const QString&)> sink) { sink_ = std::move(sink); }

    static QString hex(const QByteArray& bytes);

  private:
    void feedLine(const QByteArray& bytes, qint64 timestampMs, QList<Reply>& out);
    void feedModem(const QByteArray& bytes, QList<Reply>& out);
    void receiveBesideModem(const QByteArray& bytes, qint64 timestampMs, QList<Reply>& out);
    void feedFrames(const QList<MultiDropDeframer::Frame>& frames, QList<Reply>& out);
    void feedBoard(const QByteArray& bytes, bool traceCommands, QList<Reply>& out);
    // Each returns the protocol error the command makes, or an empty text.
    QString execute(const QByteArray& cmd, QList<Reply>& out);
    QString executeGs(const QByteArray& cmd, QList<Reply>& out);
    QString executeEsc(const QByteArray& cmd, QList<Reply>& out);
    QString executeParameters(const QByteArray& cmd);
    void executeText(const QByteArray& cmd);
    void coinIn(int terminal, QList<Reply>& out);
    void note(const QByteArray& event);
    void record(const QString& line, const QString& error = {});

    BoardConfig config_;
    BoardState state_;
    CommandReader reader_;
    MultiDropDeframer deframer_;
    QByteArray modemLine_;
    bool modemOnline_ = false;
    bool woken_ = false;
    bool clearArmed_ = false;
    bool cashoutView_ = false;
    qint64 lastByteMs_ = 0;
    QStringList trace_;
    QStringList errors_;
    std::function<void(const QString&)> sink_;
};

}  // namespace tarvo::sim
