#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace tarvo {

// One serial port as the board link needs it: line settings switchable between two bytes,
// an output-buffer count, a drain, and received characters delivered one at a time, in
// order, on the UI thread.
class SerialLine : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~SerialLine() override = default;

    // Settings text such as "9600,N,8,1"; parity letter N, E, O, M or S. Applied at once
    // when the port is open. Returns false, changing nothing, for a text that is not one.
    virtual bool setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;

    // Port number 1..32, mapped to a device path by the platform's port map.
    virtual void setPortNumber(int port) = 0;
    virtual int portNumber() const = 0;
    virtual QString devicePath(int port) const = 0;

    // False when the device is missing, busy or not a serial device; the port is then closed
    // and lastError() says why.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString lastError() const = 0;

    virtual void write(const QByteArray& bytes) = 0;
    // Bytes written but not yet handed to the line.
    virtual int outBufferCount() const = 0;
    // Blocks (without running the event loop) until every written byte has left the line.
    virtual void drain() = 0;

  signals:
    // One received character; a character that arrived with a parity error comes as '?'.
    void charReceived(char c);
    void breakReceived();
    // The device went away under an open port (adapter unplugged, peer closed); the port has
    // already been closed when this is emitted.
    void lineLost(const QString& reason);
};

}  // namespace tarvo
