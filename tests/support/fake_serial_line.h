#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/serial_line.h"

namespace tarvo::test {

// A serial line that keeps everything the program did to it, for tests that check bytes,
// the line settings each byte went out with, and the order of opens, switches and drains.
class FakeSerialLine : public SerialLine {
  public:
    struct SentByte {
        unsigned char byte;
        QString settings;  // settings text in force when the byte was written
    };

    explicit FakeSerialLine(QObject* parent = nullptr);

    // SerialLine
    bool setSettings(const QString& settings) override;
    QString settings() const override { return settings_; }
    void setPortNumber(int port) override { port_ = port; }
    int portNumber() const override { return port_; }
    QString devicePath(int port) const override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    QString lastError() const override { return lastError_; }
    void write(const QByteArray& bytes) override;
    int outBufferCount() const override { return pendingOut; }
    void drain() override;

    // What went out, byte by byte, while the port was open.
    std::vector<SentByte> sent;
    QByteArray sentBytes() const;
    void clearSent() { sent.clear(); }

    // Everything in order: "open 3", "open failed 3", "close", "settings 9600,M,8,1",
    // "byte 05" (two hex digits), "drain".
    QStringList events;
    QStringList eventTexts() const { return events; }
    // Index of the first event `text`, at or after `from`; -1 when none.
    int indexOfEvent(const QString& text, int from = 0) const {
        return static_cast<int>(events.indexOf(text, from));
    }

    // open() fails (and counts) while set; lastError() then returns failMessage.
    bool failOpen = false;
    QString failMessage = QStringLiteral("The port could not be opened.");
    int openCount = 0;  // calls of open(), failed ones too
    // Bytes that stay in the output buffer (a line whose other end stopped reading).
    int pendingOut = 0;

    // Called after every write while open, with the bytes of that call; use receiveLater()
    // from it to script the board's replies.
    std::function<void(const QByteArray&)> onWrite;

    // The board side: characters arrive now, one charReceived per byte ...
    void receive(const QByteArray& bytes);
    // ... or from the event loop, as a real port delivers them.
    void receiveLater(const QByteArray& bytes);
    void sendBreak();

  private:
    QString settings_ = QStringLiteral("9600,N,8,1");
    int port_ = 1;
    bool open_ = false;
    QString lastError_;
};

}  // namespace tarvo::test
