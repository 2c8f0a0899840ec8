#include "platform/qt_serial_line.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QPointer>

#include "core/line_settings.h"

namespace tarvo {
namespace {

QSerialPort::Parity toQtParity(char letter) {
    switch (letter) {
        case 'E':
            return QSerialPort::EvenParity;
        case 'O':
            return QSerialPort::OddParity;
        case 'M':
            return QSerialPort::MarkParity;
        case 'S':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

bool isTerminal(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool tty = ::isatty(fd);
    ::close(fd);
    return tty;
}

// Longest a drain waits for Qt's buffer to move into the driver; only a peer that stopped
// reading (a pty nobody drains) gets near it.
constexpr int kDrainTimeoutMs = 3000;

}  // namespace

QtSerialLine::QtSerialLine(PortMap ports, QObject* parent)
    : SerialLine(parent), ports_(std::move(ports)) {
    port_.setFlowControl(QSerialPort::NoFlowControl);
    applySettings();
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialLine::deliver);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLine::onError);
}

QtSerialLine::~QtSerialLine() {
    // No signals from a half-destroyed line.
    port_.disconnect(this);
    if (port_.isOpen()) {
        port_.close();
    }
}

bool QtSerialLine::setSettings(const QString& settings) {
    if (!parseLineSettings(settings)) {
        return false;
    }
    settings_ = settings;
    applySettings();
    return true;
}

void QtSerialLine::applySettings() {
    const auto s = parseLineSettings(settings_);
    if (!s) {
        return;
    }
    port_.setBaudRate(s->baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(s->dataBits));
    port_.setParity(toQtParity(s->parity));
    port_.setStopBits(s->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    if (port_.isOpen()) {
        armMarking();
    }
}

// Qt clears these on every parity change (and turns checking off for mark and space), so
// they are set again after each: marked bytes let the decoder see BREAKs and parity errors.
void QtSerialLine::armMarking() {
    const int fd = static_cast<int>(port_.handle());
    termios tio{};
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) {
        return;
    }
    tio.c_iflag |= PARMRK | INPCK;
    tio.c_iflag &= ~(IGNPAR | IGNBRK | BRKINT | ISTRIP);
    ::tcsetattr(fd, TCSANOW, &tio);
}

QString QtSerialLine::portLabel() const {
    return QStringLiteral("Com%1 (%2)").arg(portNumber_).arg(ports_.devicePath(portNumber_));
}

bool QtSerialLine::failOpen(const QString& why) {
    if (port_.isOpen()) {
        port_.close();
    }
    lastError_ = portLabel() + QLatin1Char(' ') + why;
    return false;
}

bool QtSerialLine::open() {
    if (port_.isOpen()) {
        close();
    }
    const QString path = ports_.devicePath(portNumber_);
    const QByteArray native = path.toLocal8Bit();
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        return failOpen(errno == EACCES ? QStringLiteral("cannot be reached: permission denied.")
                                        : QStringLiteral("does not exist."));
    }
    if (!S_ISCHR(st.st_mode)) {
        return failOpen(QStringLiteral("is not a serial device."));
    }

    port_.setPortName(path);
    pending_.clear();
    decoder_.reset();
    lossQueued_ = false;
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto err = port_.error();
        const QString qtText = port_.errorString();
        port_.clearError();
        if (err == QSerialPort::PermissionError) {
            if (::access(native.constData(), R_OK | W_OK) != 0) {
                return failOpen(QStringLiteral("cannot be opened: permission denied."));
            }
            return failOpen(QStringLiteral("is in use by another program."));
        }
        if (err == QSerialPort::DeviceNotFoundError) {
            return failOpen(QStringLiteral("does not exist."));
        }
        if (!isTerminal(native)) {
            return failOpen(QStringLiteral("is not a serial device."));
        }
        return failOpen(QStringLiteral("cannot be opened: %1.").arg(qtText));
    }

    const int fd = static_cast<int>(port_.handle());
    if (!::isatty(fd)) {
        return failOpen(QStringLiteral("is not a serial device."));
    }
    // Qt's lock file and TIOCEXCL do not stop a second opener running as root; an advisory
    // lock on the open file does, within this program and against other careful ones.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return failOpen(QStringLiteral("is in use by another program."));
    }
    armMarking();
    lastError_.clear();
    return true;
}

void QtSerialLine::close() {
    pending_.clear();
    decoder_.reset();
    if (port_.isOpen()) {
        port_.close();
    }
    port_.clearError();
}

void QtSerialLine::write(const QByteArray& bytes) {
    if (port_.isOpen()) {
        port_.write(bytes);
    }
}

int QtSerialLine::outBufferCount() const {
    if (!port_.isOpen()) {
        return 0;
    }
    qint64 count = port_.bytesToWrite();
    int inDriver = 0;
    if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &inDriver) == 0 && inDriver > 0) {
        count += inDriver;
    }
    return static_cast<int>(count);
}

void QtSerialLine::drain() {
    if (!port_.isOpen()) {
        return;
    }
    // waitForBytesWritten may read and announce incoming data; the receivers must not run
    // here (they may run the event loop), so deliver() holds those back until afterwards.
    QPointer<QtSerialLine> self(this);
    draining_ = true;
    while (port_.isOpen() && port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(kDrainTimeoutMs)) {
            break;
        }
    }
    if (!self) {
        return;
    }
    draining_ = false;
    if (port_.isOpen()) {
        ::tcdrain(static_cast<int>(port_.handle()));
    }
    if (deliveryQueued_ || port_.bytesAvailable() > 0) {
        deliveryQueued_ = true;
        QMetaObject::invokeMethod(this, &QtSerialLine::deliver, Qt::QueuedConnection);
    }
}

void QtSerialLine::deliver() {
    if (draining_) {
        deliveryQueued_ = true;
        return;
    }
    deliveryQueued_ = false;
    if (delivering_) {
        // A receiver is running the event loop inside charReceived: the outer call picks the
        // new bytes up in order.
        return;
    }
    delivering_ = true;
    QPointer<QtSerialLine> self(this);
    std::vector<ParmrkDecoder::Item> items;
    while (true) {
        if (pending_.empty()) {
            if (!port_.isOpen()) {
                break;
            }
            // QSerialPort does not announce data that arrives while its readyRead is still
            // being handled, so read until nothing is left.
            const QByteArray chunk = port_.readAll();
            if (chunk.isEmpty()) {
                break;
            }
            items.clear();
            decoder_.feed(chunk, items);
            pending_.insert(pending_.end(), items.begin(), items.end());
            continue;
        }
        const ParmrkDecoder::Item item = pending_.front();
        pending_.pop_front();
        switch (item.kind) {
            case ParmrkDecoder::Item::Kind::Char:
                emit charReceived(static_cast<char>(item.byte));
                break;
            case ParmrkDecoder::Item::Kind::ParityError:
                emit charReceived('?');
                break;
            case ParmrkDecoder::Item::Kind::Break:
                emit breakReceived();
                break;
        }
        if (!self) {
            return;
        }
    }
    delivering_ = false;
}

bool QtSerialLine::hungUp() const {
    const int fd = static_cast<int>(port_.handle());
    if (fd < 0) {
        return true;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) {
        return false;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        return true;
    }
    // Readable with nothing to read is an end of file: the other side is gone.
    int available = 0;
    return (p.revents & POLLIN) && ::ioctl(fd, FIONREAD, &available) == 0 && available == 0;
}

void QtSerialLine::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || !port_.isOpen() || lossQueued_) {
        return;
    }
    const bool gone = error == QSerialPort::ResourceError || hungUp();
    if (!gone) {
        return;
    }
    // Close from the event loop, not from inside QSerialPort's own notification handler.
    lossQueued_ = true;
    QMetaObject::invokeMethod(this, &QtSerialLine::loseLine, Qt::QueuedConnection);
}

void QtSerialLine::loseLine() {
    if (!port_.isOpen()) {
        return;
    }
    const QString reason = QStringLiteral("The connection on %1 was lost.").arg(portLabel());
    close();
    lastError_ = reason;
    emit lineLost(reason);
}

}  // namespace tarvo
