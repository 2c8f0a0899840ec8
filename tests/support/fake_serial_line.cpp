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
    events.push_back({Event::Kind::Settings, 0, settings, 0});
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
        events.push_back({Event::Kind::OpenFailed, port_, {}, 0});
        return false;
    }
    open_ = true;
    lastError_.clear();
    events.push_back({Event::Kind::Open, port_, {}, 0});
    return true;
}

void FakeSerialLine::close() {
    open_ = false;
    events.push_back({Event::Kind::Close, 0, {}, 0});
}

void FakeSerialLine::write(const QByteArray& bytes) {
    if (!open_) {
        return;  // a closed port drops the bytes
    }
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        sent.push_back({b, settings_});
        events.push_back({Event::Kind::Byte, 0, {}, b});
    }
    if (onWrite) {
        onWrite(bytes);
    }
}

void FakeSerialLine::drain() {
    events.push_back({Event::Kind::Drain, 0, {}, 0});
}

QByteArray FakeSerialLine::sentBytes() const {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(sent.size()));
    for (const auto& s : sent) {
        out.append(static_cast<char>(s.byte));
    }
    return out;
}

QStringList FakeSerialLine::eventTexts() const {
    static const char* const kNames[] = {"open ",     "open failed ", "close",
                                         "settings ", "byte ",        "drain"};
    QStringList out;
    for (const auto& e : events) {
        QString text = QString::fromLatin1(kNames[static_cast<int>(e.kind)]);
        if (e.kind == Event::Kind::Open || e.kind == Event::Kind::OpenFailed) {
            text += QString::number(e.port);
        } else if (e.kind == Event::Kind::Settings) {
            text += e.text;
        } else if (e.kind == Event::Kind::Byte) {
            text += QStringLiteral("%1").arg(e.byte, 2, 16, QLatin1Char('0'));
        }
        out << text;
    }
    return out;
}

int FakeSerialLine::indexOfEvent(const QString& text, int from) const {
    return static_cast<int>(eventTexts().indexOf(text, from));
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
