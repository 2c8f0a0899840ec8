#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "model/board_model.h"

class QSocketNotifier;

namespace tarvo::sim {

// A board behind a pseudo-terminal: the program opens slavePath() (or the link) as its
// serial port. Replies go out after their delays; nothing here spins.
class PtyBoard : public QObject {
    Q_OBJECT
  public:
    explicit PtyBoard(BoardModel& model, QObject* parent = nullptr);
    ~PtyBoard() override;

    bool open(QString* error = nullptr);
    // A symbolic link at `path` to the slave, replacing an earlier link there.
    bool setLink(const QString& path, QString* error = nullptr);
    // Closes the master, as if the board were unplugged; removes the link.
    void close();

    bool isOpen() const { return fd_ >= 0; }
    // No reply waits for its time or for room on the line.
    bool idle() const { return pending_.isEmpty() && outBuffer_.isEmpty(); }
    // Every reply whose time has come is out: nothing is late but for the machine's pace.
    bool caughtUp() const {
        return outBuffer_.isEmpty() && (pending_.isEmpty() || pending_.first().dueMs > replyNow());
    }
    // Set: reply delays count on this clock (milliseconds) instead of the wall clock, and
    // replies that came due go out when the owner calls sendDue(), at each step of it.
    void setReplyClock(std::function<qint64()> nowMs) { replyClock_ = std::move(nowMs); }
    void sendDue();
    QString slavePath() const { return slavePath_; }
    QString linkPath() const { return linkPath_; }
    // True while no one has the slave open (the master then reads EIO).
    bool peerClosed() const { return hungUp_; }

  signals:
    void bytesReceived(const QByteArray& bytes);
    // Bytes handed to the line towards the program.
    void bytesSent(qint64 count);
    void peerOpened();
    void peerHungUp();

  private:
    struct Pending {
        QByteArray bytes;
        qint64 dueMs;
    };
    void onReadable();
    void onWritable();
    void checkPeer();
    void schedule(const QList<Reply>& replies);
    qint64 replyNow() const { return replyClock_ ? replyClock_() : clock_.elapsed(); }
    void writeOut(const QByteArray& bytes);
    void enterHangUp();
    void removeLink();

    BoardModel& model_;
    int fd_ = -1;
    QString slavePath_;
    QString linkPath_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QTimer peerTimer_;  // while hung up: looks now and then whether the slave is back
    QTimer replyTimer_;
    QElapsedTimer clock_;
    std::function<qint64()> replyClock_;
    QList<Pending> pending_;
    QByteArray outBuffer_;
    bool hungUp_ = false;
};

}  // namespace tarvo::sim
