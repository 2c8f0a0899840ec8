#include "support/fake_serial_line.h"

#include <QTimer>

#include "core/line_settings.h"

namespace tarvo::test {

FakeSerialLine::FakeSerialLine(QObject* parent) : SerialLine(parent) {}

bool FakeSerialLine::setSettings(const QString& settings) {
    if (!parseLineSettings(settings)) {
        return false;
    }
    settings_ = settings;
    events << QStringLiteral("settings ") + settings;
    return true;
}

QString FakeSerialLine::devicePath(int port) const {
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

bool FakeSerialLine::open() {
    ++openCount;
    if (failOpen) {
        open_ = false;
        lastError_ = failMessage;
        events << QStringLiteral("open failed %1").arg(port_);
        return false;
    }
    open_ = true;
    lastError_.clear();
    events << QStringLiteral("open %1").arg(port_);
    return true;
}

void FakeSerialLine::close() {
    open_ = false;
    events << QStringLiteral("close");
}

void FakeSerialLine::write(const QByteArray& bytes) {
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

void FakeSerialLine::drain() {
    events << QStringLiteral("drain");
}

QByteArray FakeSerialLine::sentBytes() const {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(sent.size()));
    for (const auto& s : sent) {
        out.append(static_cast<char>(s.byte));
    }
    return out;
}

void FakeSerialLine::receive(const QByteArray& bytes) {
    for (char c : bytes) {
        emit charReceived(c);
    }
}

void FakeSerialLine::receiveLater(const QByteArray& bytes) {
    QTimer::singleShot(0, this, [this, bytes] { receive(bytes); });
}

void FakeSerialLine::sendBreak() {
    emit breakReceived();
}

}  // namespace tarvo::test
