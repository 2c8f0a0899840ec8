#pragma once

#include <QSerialPort>
#include <deque>

#include "platform/parmrk_decoder.h"
#include "platform/port_map.h"
#include "platform/serial_line.h"

namespace tarvo {

// The board link's serial line on a Linux tty through QSerialPort, with what Qt leaves out
// added on the native handle: received BREAKs and parity errors, exclusive use, a drain down
// to the wire, and a hang-up that closes the port once instead of spinning.
class QtSerialLine : public SerialLine {
    Q_OBJECT
  public:
    explicit QtSerialLine(PortMap ports, QObject* parent = nullptr);
    ~QtSerialLine() override;

    bool setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    void setPortNumber(int port) override { portNumber_ = port; }
    int portNumber() const override { return portNumber_; }
    QString devicePath(int port) const override { return ports_.devicePath(port); }
    bool open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    QString lastError() const override { return lastError_; }
    void write(const QByteArray& bytes) override;
    int outBufferCount() const override;
    void drain() override;

  private:
    void applySettings();
    void armMarking();
    bool failOpen(const QString& why);
    void deliver();
    void onError(QSerialPort::SerialPortError error);
    bool hungUp() const;
    void loseLine();
    QString portLabel() const;

    PortMap ports_;
    QSerialPort port_;
    QString settings_ = QStringLiteral("9600,N,8,1");
    int portNumber_ = 1;
    QString lastError_;
    ParmrkDecoder decoder_;
    // Decoded but not yet delivered; a receiver may run the event loop inside charReceived,
    // so later chunks queue behind the current one instead of overtaking it.
    std::deque<ParmrkDecoder::Item> pending_;
    bool delivering_ = false;
    bool draining_ = false;
    bool deliveryQueued_ = false;
    bool lossQueued_ = false;
};

}  // namespace tarvo
