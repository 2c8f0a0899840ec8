#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>
#include <mutex>

#include "platform/serial_line.h"
#include "platform/usb_library.h"

namespace tarvo {

// A protocol trace appended to a file: one line per run of bytes in one direction, with the
// time in milliseconds, the bytes in hexadecimal and as printable text. Each line goes to the
// file in one write, so a crash keeps everything written before it. The USB worker's thread
// writes to it too.
class TraceLog : public QObject {
    Q_OBJECT
  public:
    enum class Direction { Sent, SentAddress, Received };
    static constexpr qint64 kDefaultLimit = 100LL * 1024 * 1024;

    // Nothing when the file cannot be opened for appending or is no regular file (a FIFO or a
    // device would block or swallow the trace); `error` then says why.
    static std::shared_ptr<TraceLog> open(const QString& path, const QString& program,
                                          QString* error, qint64 limitBytes = kDefaultLimit);
    ~TraceLog() override;
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // Bytes of one direction; consecutive bytes of the same kind share a line, which is
    // written when the kind changes, at the next turn of the event loop, or on flush().
    void bytes(Direction direction, const QByteArray& data);
    // A line of its own, such as the opening of a port.
    void note(const QString& text);
    void flush();
    // True once the size limit or a write error stopped the trace.
    bool stopped() const { return stopped_; }
    // Why a write failed ("No space left on device"); empty while none did. The failure is
    // also said on standard error when it happens.
    QString writeError() const;

    static QString printable(const QByteArray& data);

  private:
    TraceLog(int fd, qint64 size, qint64 limit, QString path, QString program);
    // `time`: when the first byte of the line was seen.
    void writeLine(const QDateTime& time, const QString& body);

    mutable std::recursive_mutex mutex_;
    int fd_;
    QString path_;
    QString program_;
    QString writeError_;
    qint64 size_;
    qint64 limit_;
    bool stopped_ = false;
    bool flushQueued_ = false;
    Direction pendingDirection_ = Direction::Sent;
    QByteArray pending_;
    QDateTime pendingSince_;
};

// The serial line with every byte sent and received written to a trace. An address byte is
// one sent while the line is set to mark parity (the multi-drop address bit).
class TracingSerialLine : public SerialLine {
    Q_OBJECT
  public:
    TracingSerialLine(std::shared_ptr<SerialLine> inner, std::shared_ptr<TraceLog> trace);

    bool setSettings(const QString& settings) override { return inner_->setSettings(settings); }
    QString settings() const override { return inner_->settings(); }
    void setPortNumber(int port) override { inner_->setPortNumber(port); }
    int portNumber() const override { return inner_->portNumber(); }
    QString devicePath(int port) const override { return inner_->devicePath(port); }
    bool open() override;
    void close() override;
    bool isOpen() const override { return inner_->isOpen(); }
    QString lastError() const override { return inner_->lastError(); }
    void write(const QByteArray& bytes) override;
    int outBufferCount() const override { return inner_->outBufferCount(); }
    void drain() override;

  private:
    std::shared_ptr<SerialLine> inner_;
    std::shared_ptr<TraceLog> trace_;
};

// The USB contract with every byte written and read going to a trace.
class TracingUsbLibrary : public UsbLibrary {
  public:
    TracingUsbLibrary(std::shared_ptr<UsbLibrary> inner, std::shared_ptr<TraceLog> trace)
        : inner_(std::move(inner)), trace_(std::move(trace)) {}

    int32_t USB_Scan(int32_t vendor, int32_t product) override {
        return inner_->USB_Scan(vendor, product);
    }
    int32_t USB_Open(int32_t vendor, int32_t product, int32_t reserved) override;
    int32_t USB_Write(int32_t handle, const QByteArray& data, int32_t count) override;
    int32_t USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                     int32_t nextTimeoutMs) override;
    int32_t USB_Close(int32_t handle) override;
    int32_t USB_GetVersion() override { return inner_->USB_GetVersion(); }
    QString lastError() const override { return inner_->lastError(); }

  private:
    std::shared_ptr<UsbLibrary> inner_;
    std::shared_ptr<TraceLog> trace_;
};

}  // namespace tarvo
