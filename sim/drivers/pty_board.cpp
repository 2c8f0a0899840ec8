#include "drivers/pty_board.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tarvo::sim {

namespace {

constexpr int kPeerCheckMs = 50;

bool fail(QString* error, const QString& what) {
    if (error) {
        *error = what + ": " + QString::fromLocal8Bit(std::strerror(errno));
    }
    return false;
}

}  // namespace

PtyBoard::PtyBoard(BoardModel& model, QObject* parent) : QObject(parent), model_(model) {
    peerTimer_.setInterval(kPeerCheckMs);
    connect(&peerTimer_, &QTimer::timeout, this, &PtyBoard::checkPeer);
    replyTimer_.setSingleShot(true);
    connect(&replyTimer_, &QTimer::timeout, this, &PtyBoard::sendDue);
}

PtyBoard::~PtyBoard() {
    close();
}

bool PtyBoard::open(QString* error) {
    close();
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return fail(error, "posix_openpt");
    }
    char name[128];
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        const bool r = fail(error, "grantpt/unlockpt/ptsname");
        ::close(fd);
        return r;
    }
    // Settings made on the master apply to the slave: raw bytes, no echo, no line editing.
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(fd, TCSANOW, &tio);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fd_ = fd;
    slavePath_ = QString::fromLocal8Bit(name);
    hungUp_ = false;
    clock_.start();
    readNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyBoard::onReadable);
    writeNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyBoard::onWritable);
    return true;
}

bool PtyBoard::setLink(const QString& path, QString* error) {
    if (fd_ < 0) {
        if (error) {
            *error = QStringLiteral("the pseudo-terminal is not open");
        }
        return false;
    }
    removeLink();
    const QFileInfo info(path);
    if (info.isSymLink()) {
        QFile::remove(path);
    } else if (info.exists()) {
        if (error) {
            *error = path + QStringLiteral(" exists and is not a link");
        }
        return false;
    }
    if (::symlink(slavePath_.toLocal8Bit().constData(), path.toLocal8Bit().constData()) != 0) {
        return fail(error, "symlink " + path);
    }
    linkPath_ = path;
    return true;
}

void PtyBoard::close() {
    removeLink();
    if (fd_ < 0) {
        return;
    }
    delete readNotifier_;
    delete writeNotifier_;
    readNotifier_ = writeNotifier_ = nullptr;
    peerTimer_.stop();
    replyTimer_.stop();
    pending_.clear();
    outBuffer_.clear();
    ::close(fd_);
    fd_ = -1;
    hungUp_ = false;
    model_.hangUp();
}

void PtyBoard::removeLink() {
    if (linkPath_.isEmpty()) {
        return;
    }
    const QFileInfo info(linkPath_);
    if (info.isSymLink() && info.symLinkTarget() == slavePath_) {
        QFile::remove(linkPath_);
    }
    linkPath_.clear();
}

void PtyBoard::onReadable() {
    QByteArray chunk;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            chunk.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EIO) {
            // The program closed its side; the master now reads EIO until it reopens.
            enterHangUp();
        }
        break;
    }
    if (!chunk.isEmpty()) {
        emit bytesReceived(chunk);
        schedule(model_.receive(chunk, clock_.elapsed()));
    }
}

void PtyBoard::enterHangUp() {
    if (hungUp_) {
        return;
    }
    hungUp_ = true;
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    replyTimer_.stop();
    pending_.clear();
    outBuffer_.clear();
    model_.hangUp();
    peerTimer_.start();
    emit peerHungUp();
}

void PtyBoard::checkPeer() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & POLLHUP)) {
        return;
    }
    peerTimer_.stop();
    hungUp_ = false;
    readNotifier_->setEnabled(true);
    emit peerOpened();
    if (p.revents & POLLIN) {
        onReadable();
    }
}

void PtyBoard::schedule(const QList<Reply>& replies) {
    const qint64 now = replyNow();
    qint64 due = pending_.isEmpty() ? now : std::max(now, pending_.last().dueMs);
    for (const Reply& r : replies) {
        due += r.delayMs;
        pending_ << Pending{r.bytes, due};
    }
    sendDue();
}

void PtyBoard::sendDue() {
    const qint64 now = replyNow();
    while (!pending_.isEmpty() && pending_.first().dueMs <= now) {
        writeOut(pending_.takeFirst().bytes);
    }
    if (!pending_.isEmpty()) {
        if (!replyClock_) {
            replyTimer_.start(static_cast<int>(pending_.first().dueMs - now));
        }
    }
}

void PtyBoard::writeOut(const QByteArray& bytes) {
    if (fd_ < 0 || hungUp_) {
        return;  // no one listens
    }
    outBuffer_ += bytes;
    onWritable();
}

void PtyBoard::onWritable() {
    while (!outBuffer_.isEmpty()) {
        const ssize_t n = ::write(fd_, outBuffer_.constData(), outBuffer_.size());
        if (n > 0) {
            outBuffer_.remove(0, n);
            emit bytesSent(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writeNotifier_->setEnabled(true);
            return;
        }
        if (n < 0 && errno == EIO) {
            enterHangUp();
        }
        return;
    }
    writeNotifier_->setEnabled(false);
}

}  // namespace tarvo::sim
