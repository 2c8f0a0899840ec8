#include "platform/trace_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDateTime>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvo {

namespace {

constexpr qsizetype kBytesPerLine = 32;

QString label(TraceLog::Direction d) {
    switch (d) {
        case TraceLog::Direction::Sent:
            return QStringLiteral("TX     ");
        case TraceLog::Direction::SentAddress:
            return QStringLiteral("TX ADDR");
        case TraceLog::Direction::Received:
            return QStringLiteral("RX     ");
    }
    return {};
}

bool markParity(const QString& settings) {
    const QStringList parts = settings.split(QLatin1Char(','));
    return parts.size() > 1 &&
           parts[1].trimmed().compare(QLatin1String("M"), Qt::CaseInsensitive) == 0;
}

}  // namespace

std::shared_ptr<TraceLog> TraceLog::open(const QString& path, const QString& program,
                                         QString* error, qint64 limitBytes) {
    const QByteArray name = QFile::encodeName(path);
    const QString notRegular = QStringLiteral(
                                   "cannot use %1 as the trace file: it is not a "
                                   "regular file")
                                   .arg(path);
    // Looked at before opening: opening a FIFO for writing waits for a reader.
    struct stat info {};
    if (::stat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        *error = notRegular;
        return nullptr;
    }
    // Non-blocking as well, should a FIFO take the name in between.
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        *error = QStringLiteral("cannot open the trace file %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        *error = notRegular;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, O_APPEND);
    std::shared_ptr<TraceLog> log(new TraceLog(fd, info.st_size, limitBytes, path, program));
    log->note(QStringLiteral("trace of %1 started").arg(program));
    return log;
}

TraceLog::TraceLog(int fd, qint64 size, qint64 limit, QString path, QString program)
    : fd_(fd),
      path_(std::move(path)),
      program_(std::move(program)),
      size_(size),
      limit_(limit),
      stopped_(size >= limit) {}

TraceLog::~TraceLog() {
    flush();
    ::close(fd_);
}

QString TraceLog::writeError() const {
    std::lock_guard lock(mutex_);
    return writeError_;
}

void TraceLog::bytes(Direction direction, const QByteArray& data) {
    std::lock_guard lock(mutex_);
    if (data.isEmpty() || stopped_) {
        return;
    }
    if (!pending_.isEmpty() && direction != pendingDirection_) {
        flush();
    }
    if (pending_.isEmpty()) {
        pendingSince_ = QDateTime::currentDateTime();
    }
    pendingDirection_ = direction;
    pending_ += data;
    if (!flushQueued_) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, [this] { flush(); });
    }
}

void TraceLog::note(const QString& text) {
    std::lock_guard lock(mutex_);
    flush();
    writeLine(QDateTime::currentDateTime(), QStringLiteral("-- ") + text);
}

void TraceLog::flush() {
    std::lock_guard lock(mutex_);
    flushQueued_ = false;
    if (pending_.isEmpty()) {
        return;
    }
    const QByteArray data = std::exchange(pending_, QByteArray());
    // Lines short enough to read; a long report spans several.
    for (qsizetype at = 0; at < data.size(); at += kBytesPerLine) {
        const QByteArray part = data.mid(at, kBytesPerLine);
        writeLine(pendingSince_, label(pendingDirection_) + QLatin1Char(' ') +
                                     QString::fromLatin1(part.toHex(' ').toUpper()) +
                                     QStringLiteral("  |") + printable(part) + QLatin1Char('|'));
    }
}

QString TraceLog::printable(const QByteArray& data) {
    QString text;
    text.reserve(data.size());
    for (char c : data) {
        const auto u = static_cast<unsigned char>(c);
        text += (u >= 0x20 && u < 0x7F) ? QLatin1Char(c) : QLatin1Char('.');
    }
    return text;
}

void TraceLog::writeLine(const QDateTime& time, const QString& body) {
    if (stopped_) {
        return;
    }
    const QByteArray stamp = time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")).toUtf8();
    QByteArray line = stamp + body.toUtf8() + '\n';
    const QByteArray last = stamp + "-- trace stopped: the file reached its size limit\n";
    // The closing line must still fit, so the file never passes the limit.
    if (size_ + line.size() + last.size() > limit_) {
        line = last;
        stopped_ = true;
        pending_.clear();
    }
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::write(fd_, line.constData() + done, static_cast<size_t>(line.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // Disk full or the file went away: the run goes on untraced, but not unsaid.
            stopped_ = true;
            pending_.clear();
            writeError_ = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            std::fprintf(stderr, "%s: the trace stopped: cannot write to %s: %s\n",
                         qPrintable(program_), qPrintable(path_), qPrintable(writeError_));
            return;
        }
        done += n;
    }
    size_ += done;
}

TracingSerialLine::TracingSerialLine(std::shared_ptr<SerialLine> inner,
                                     std::shared_ptr<TraceLog> trace)
    : inner_(std::move(inner)), trace_(std::move(trace)) {
    connect(inner_.get(), &SerialLine::charReceived, this, [this](char c) {
        trace_->bytes(TraceLog::Direction::Received, QByteArray(1, c));
        emit charReceived(c);
    });
    connect(inner_.get(), &SerialLine::breakReceived, this, [this] {
        trace_->note(QStringLiteral("BREAK received"));
        emit breakReceived();
    });
    connect(inner_.get(), &SerialLine::lineLost, this, [this](const QString& reason) {
        trace_->note(QStringLiteral("line lost: ") + reason);
        emit lineLost(reason);
    });
}

bool TracingSerialLine::open() {
    const bool opened = inner_->open();
    const QString path = inner_->devicePath(inner_->portNumber());
    trace_->note(opened ? QStringLiteral("open Com%1 (%2) %3")
                              .arg(inner_->portNumber())
                              .arg(path, inner_->settings())
                        : QStringLiteral("cannot open Com%1 (%2): %3")
                              .arg(inner_->portNumber())
                              .arg(path, inner_->lastError()));
    return opened;
}

void TracingSerialLine::close() {
    trace_->note(QStringLiteral("close Com%1").arg(inner_->portNumber()));
    inner_->close();
}

void TracingSerialLine::write(const QByteArray& bytes) {
    trace_->bytes(markParity(inner_->settings()) ? TraceLog::Direction::SentAddress
                                                 : TraceLog::Direction::Sent,
                  bytes);
    inner_->write(bytes);
}

void TracingSerialLine::drain() {
    // The line blocks here: what went out so far is on record first.
    trace_->flush();
    inner_->drain();
}

int32_t TracingUsbLibrary::USB_Open(int32_t vendor, int32_t product, int32_t reserved) {
    const int32_t handle = inner_->USB_Open(vendor, product, reserved);
    trace_->note(QStringLiteral("USB open %1:%2 -> handle %3")
                     .arg(vendor, 4, 16, QLatin1Char('0'))
                     .arg(product, 4, 16, QLatin1Char('0'))
                     .arg(handle));
    return handle;
}

int32_t TracingUsbLibrary::USB_Write(int32_t handle, const QByteArray& data, int32_t count) {
    trace_->bytes(TraceLog::Direction::Sent, data.left(count));
    const int32_t result = inner_->USB_Write(handle, data, count);
    if (isFault(result)) {
        trace_->note(QStringLiteral("USB write failed: ") + statusText(result));
    }
    return result;
}

int32_t TracingUsbLibrary::USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                                    int32_t nextTimeoutMs) {
    const QByteArray before = buffer;
    const int32_t result = inner_->USB_Read(handle, buffer, firstTimeoutMs, nextTimeoutMs);
    if (buffer != before && !buffer.isEmpty()) {
        const int count = static_cast<unsigned char>(buffer.at(0));
        trace_->bytes(TraceLog::Direction::Received, buffer.mid(1, count));
    }
    if (isFault(result)) {
        trace_->note(QStringLiteral("USB read failed: ") + statusText(result));
    }
    return result;
}

int32_t TracingUsbLibrary::USB_Close(int32_t handle) {
    trace_->note(QStringLiteral("USB close handle %1").arg(handle));
    return inner_->USB_Close(handle);
}

}  // namespace tarvo
