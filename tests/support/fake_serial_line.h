#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

#include "core/line_settings.h"
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

    explicit FakeSerialLine(QObject* parent = nullptr) : SerialLine(parent) {}

    // SerialLine
    bool setSettings(const QString& settings) override {
        if (!parseLineSettings(settings)) {
            return false;
        }
        settings_ = settings;
        events << QStringLiteral("settings ") + settings;
        return true;
    }
    QString settings() const override { return settings_; }
    void setPortNumber(int port) override { port_ = port; }
    int portNumber() const override { return port_; }
    QString devicePath(int port) const override {
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    }
    bool open() override {
        ++openCount;
        open_ = !failOpen;
        lastError_ = failOpen ? failMessage : QString();
        events
            << (failOpen ? QStringLiteral("open failed %1") : QStringLiteral("open %1")).arg(port_);
        return open_;
    }
    void close() override {
        open_ = false;
        events << QStringLiteral("close");
    }
    bool isOpen() const override { return open_; }
    QString lastError() const override { return lastError_; }
    void write(const QByteArray& bytes) override {
        if (!open_) {
            return;  // a closed port drops the bytes
        }
        for (char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            sent.push_back({b, settings_});
            events << QStringLiteral("byte %1").arg(b, 2, 16, QLatin1Char('0'));
        }
        if (onWrite) {
            onWrite(bytes);
        }
    }
    int outBufferCount() const override { return pendingOut; }
    void drain() override { events << QStringLiteral("drain"); }

    // What went out, byte by byte, while the port was open.
    std::vector<SentByte> sent;
    QByteArray sentBytes() const {
        QByteArray out;
        for (const auto& s : sent) {
            out.append(static_cast<char>(s.byte));
        }
        return out;
    }

    // Everything in order: "open 3", "open failed 3", "close", "settings 9600,M,8,1",
    // "byte 05" (two hex digits), "drain".
    QStringList events;
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
    void receive(const QByteArray& bytes) {
        for (char c : bytes) {
            emit charReceived(c);
        }
    }
    // ... or from the event loop, as a real port delivers them.
    void receiveLater(const QByteArray& bytes) {
        QTimer::singleShot(0, this, [this, bytes] { receive(bytes); });
    }
    void sendBreak() { emit breakReceived(); }

  private:
    QString settings_ = QStringLiteral("9600,N,8,1");
    int port_ = 1;
    bool open_ = false;
    QString lastError_;
};

}  // namespace tarvo::test
