#include "session/board_session.h"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

#include "core/modem.h"
#include "core/numeric.h"
#include "platform/prompts.h"
#include "platform/serial_line.h"
#include "platform/usb_library.h"
#include "platform/usb_worker.h"
#include "platform/wait.h"

namespace tarvo {

namespace {
const QString kPlainSettings = QStringLiteral("9600,N,8,1");
const QString kAddressSettings = QStringLiteral("9600,M,8,1");
const QString kDataSettings = QStringLiteral("9600,S,8,1");
constexpr int32_t kUsbProducts[] = {0x4000, 0x4002, 0x2000};
constexpr int32_t kUsbFirstTimeout = 1000;
constexpr int32_t kUsbNextTimeout = 500;
// A board that never stops talking does not hold one frame's reply for ever.
constexpr qint64 kUsbReplyLimitMs = 60'000;
constexpr int kDialSettleTicks = 3;
constexpr int kAnswerTicks = 60;
// The received text keeps at most this many characters (a terminal session can run for
// hours); every operation clears it first and reads far less.
constexpr qsizetype kMaxText = 2'000'000;
// The close-session frame gets as long as its bytes need at 9600 baud (ten bits a byte), and
// two seconds more; a line whose other end stopped reading must not hold the close forever.
constexpr int kCloseGraceMs = 2000;
constexpr int kBitsPerByte = 10;
constexpr int kBaud = 9600;
}  // namespace

BoardSession::BoardSession(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    // The fine timer paces the address-bit pause of multi-drop frames; it ticks only while a
    // delay needs it, so an idle session sleeps.
    realTimer_ = new QTimer(this);
    realTimer_->setObjectName(QStringLiteral("RealTimer"));
    realTimer_->setTimerType(Qt::PreciseTimer);
    connect(realTimer_, &QTimer::timeout, this, [this] { ++RealTicks; });
    // Two coarse timers advance TickCount by two a period; every coarse wait counts these.
    timer1_ = new QTimer(this);
    timer2_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer2_->setObjectName(QStringLiteral("Timer2"));
    for (QTimer* t : {timer1_, timer2_}) {
        t->setInterval(services_.tickIntervalMs);
        connect(t, &QTimer::timeout, this, &BoardSession::onTick);
        t->start();
    }
    if (services_.usb) {
        usbWorker_ = new UsbWorker(services_.usb, this);
        // A transfer under way when the session shuts down is finished on the worker unseen.
        usbWorker_->setStopCondition([this] { return shutDown_; });
    }
    if (services_.serial) {
        SerialLine* line = services_.serial.get();
        connect(line, &SerialLine::charReceived, this, [this](char c) { MSComm1_OnComm(c); });
        connect(line, &SerialLine::breakReceived, this, [this] { onBreak(); });
        connect(line, &SerialLine::lineLost, this,
                [this](const QString& reason) { onLineLost(reason); });
    }
}

BoardSession::~BoardSession() {
    shutDown_ = true;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

int32_t BoardSession::OpenTarvoBoard() {
    refusal_.clear();
    const bool opened = options_.usb() ? openUsb() : openSerial();
    if (!opened) {
        return 0;
    }
    Connected = 1;
    WriteToTarvoBoard(frames::openSession(), 3);
    emit connectionChanged(true);
    return 1;
}

bool BoardSession::openSerial() {
    SerialLine& line = *services_.serial;
    const bool addressed = options_.multiDrop() && !options_.multiDropAddress.isEmpty();
    line.setSettings(addressed ? kDataSettings : kPlainSettings);
    line.setPortNumber(options_.interfacePosition + 1);
    modemFailure_.clear();
    // A missing, busy or non-serial device is a failed open; the line stays closed.
    if (!line.open()) {
        refusal_ = QStringLiteral("Could not open %1 (%2): %3")
                       .arg(options_.interfaceName(),
                            line.devicePath(options_.interfacePosition + 1), line.lastError());
        return false;
    }
    if (PhoneNumber.isEmpty() || dial()) {
        return true;
    }
    // A modem that did not connect is no link: the port is not left open behind a failed
    // connect.
    line.close();
    return false;
}

bool BoardSession::openUsb() {
    if (!usbWorker_) {
        refusal_ = QStringLiteral("No Tarvo Board found on USB");
        return false;
    }
    for (int32_t product : kUsbProducts) {
        if (usbWorker_->scan(UsbLibrary::kVendor, product) > 0) {
            UsbHandle = usbWorker_->open(UsbLibrary::kVendor, product);
            if (UsbHandle == 0) {
                // Found but not opened (no permission, claimed elsewhere): no connection.
                refusal_ = QStringLiteral("The Tarvo Board on USB could not be opened");
                if (!usbWorker_->lastError().isEmpty()) {
                    refusal_ += QStringLiteral(": ") + usbWorker_->lastError();
                }
                return false;
            }
            return true;
        }
    }
    refusal_ = QStringLiteral("No Tarvo Board found on USB");
    return false;
}

int32_t BoardSession::CloseTarvoBoard() {
    WriteToTarvoBoard(frames::closeSession(), 3);
    if (!options_.usb()) {
        SerialLine& line = *services_.serial;
        // Let the close-session command leave before the port goes, within what its bytes
        // need; the port's close discards the rest.
        const int boundMs = line.outBufferCount() * kBitsPerByte * 1000 / kBaud + kCloseGraceMs;
        bool timedOut = false;
        QTimer limit;
        limit.setSingleShot(true);
        limit.setTimerType(Qt::PreciseTimer);
        connect(&limit, &QTimer::timeout, this, [&timedOut] { timedOut = true; });
        limit.start(boundMs);
        wait::until([&] { return timedOut || line.outBufferCount() == 0; });
        line.close();
    } else if (UsbHandle != 0 && usbWorker_) {
        usbWorker_->close(UsbHandle);
        UsbHandle = 0;
    }
    Connected = 0;
    emit connectionChanged(false);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Writing

int32_t BoardSession::WriteToTarvoBoard(const QByteArray& frame, int32_t length) {
    bool sent = false;
    if (options_.usb()) {
        sent = writeUsb(frame, length);
    } else if (options_.multiDrop()) {
        sent = writeMultiDrop(frame, length);
    } else {
        sent = writeSerialPlain(frame);
    }
    return sent ? 1 : 0;
}

void BoardSession::refuse(const QString& reason) {
    refusal_ = reason;
    emit statusMessage(reason);
}

bool BoardSession::writeSerialPlain(const QByteArray& frame) {
    SerialLine& line = *services_.serial;
    if (!line.isOpen()) {
        refuse(QStringLiteral("CONNECTION LOST"));
        return false;
    }
    for (char c : frame) {
        line.write(QByteArray(1, c));
    }
    return true;
}

bool BoardSession::writeMultiDrop(const QByteArray& frame, int32_t length) {
    // A text that is no whole number 0..255 (or no text) must never become some other
    // address byte.
    const auto address = multiDropAddress(options_.multiDropAddress);
    if (!address) {
        refuse(QStringLiteral("INVALID MULTI DROP ADDRESS"));
        return false;
    }
    if (length > frames::kLargestMultiDropFrame) {
        refuse(QStringLiteral("FRAME TOO LONG FOR MULTI DROP"));
        return false;
    }
    SerialLine& line = *services_.serial;
    if (!line.isOpen()) {
        refuse(QStringLiteral("CONNECTION LOST"));
        return false;
    }
    // The address byte carries the 9th bit as mark parity; the parity may only change once
    // the byte has left the line.
    line.setSettings(kAddressSettings);
    line.write(QByteArray(1, static_cast<char>(*address)));
    line.drain();
    RealTimeDelay(AddressBitDelay);
    line.setSettings(kDataSettings);
    for (char c : frames::multiDropBody(frame.left(length))) {
        line.write(QByteArray(1, c));
    }
    return true;
}

bool BoardSession::writeUsb(const QByteArray& frame, int32_t length) {
    if (!usbWorker_ || UsbHandle == 0) {
        refuse(QStringLiteral("PLEASE CONNECT FIRST"));
        return false;
    }
    if (!usbOk(usbWorker_->write(UsbHandle, frame, length))) {
        return false;
    }
    QElapsedTimer replying;
    replying.start();
    while (ExpectReply && !stopping() && replying.elapsed() < kUsbReplyLimitMs) {
        const UsbReadResult read = usbWorker_->read(UsbHandle, kUsbFirstTimeout, kUsbNextTimeout);
        const QByteArray& buffer = read.buffer;
        if (buffer.size() < UsbLibrary::kReadBufferSize ||
            buffer.left(64) == QByteArray(64, ' ')) {
            return usbOk(read.status);  // nothing arrived
        }
        // What came before a fault is the board's too.
        const int count = static_cast<unsigned char>(buffer.at(0));
        for (int i = 1; i <= count && !shutDown_; ++i) {
            ParseDataInWindow(buffer.at(i));
        }
        if (!usbOk(read.status)) {
            return false;
        }
    }
    return true;
}

bool BoardSession::usbOk(int32_t status) {
    if (!UsbLibrary::isFault(status)) {
        return true;
    }
    if (status != UsbLibrary::kUsbClosing) {
        onLineLost(UsbLibrary::statusText(status));
    }
    return false;
}

void BoardSession::RealTimeDelay(int32_t milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    RealTicks = 0;
    realTimer_->start(std::max(1, AddressBitDelay));
    // Not cut short by a stop or a shut-down: the frame whose address already went out is
    // finished whole.
    wait::until([&] { return RealTicks >= milliseconds; });
    realTimer_->stop();
}

bool BoardSession::SendToTarvoBoard(const QByteArray& frame) {
    if (Connected != 1) {
        refuse(QStringLiteral("PLEASE CONNECT FIRST"));
        return false;
    }
    if (stopping()) {
        return false;  // the operation was stopped; its remaining frames stay unsent
    }
    return WriteToTarvoBoard(frame, static_cast<int32_t>(frame.size())) == 1;
}

bool BoardSession::sendPrefixFor(const frames::Command& command) {
    if (options_.target != Target::Brisko) {
        return true;
    }
    return SendToTarvoBoard(frames::targetPrefix(command.prefixCode));
}

bool BoardSession::sendPieces(const frames::Command& command) {
    for (const QByteArray& piece : command.pieces) {
        // A command the transport refused part of is not finished with other pieces.
        if (!SendToTarvoBoard(piece)) {
            return false;
        }
    }
    return true;
}

bool BoardSession::sendCommand(const frames::Command& command) {
    return sendPrefixFor(command) && sendPieces(command);
}

bool BoardSession::refusesAddressZero(const QString& message) {
    if (!options_.multiDrop()) {
        return false;
    }
    // Only a text that reads as address 0 is refused here; any other text that is no valid
    // address is stopped by the transport, which never sends it.
    const auto address = multiDropAddress(options_.multiDropAddress);
    if (!address || *address != 0) {
        return false;
    }
    services_.prompts->message(message, MsgButtons::Ok, MsgIcon::Critical,
                               QStringLiteral("ILLEGAL COMMAND"));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Receiving

void BoardSession::clearText() {
    text_.clear();
    emit textCleared();
}

void BoardSession::appendText(const QString& text) {
    text_.append(text);
    if (text_.size() > kMaxText) {
        text_.remove(0, text_.size() - kMaxText / 2);
    }
    emit textAppended(text);
}

void BoardSession::MSComm1_OnComm(char c) {
    interpret(c);
    emit characterHandled();
    if (++RxCount == 32000) {
        RxCount = 0;
    }
}

void BoardSession::ParseDataInWindow(char c) {
    MSComm1_OnComm(c);
    wait::yieldOnce();
}

void BoardSession::interpret(char c) {
    const RxEffect effect = Rx.feed(static_cast<unsigned char>(c));
    switch (effect.kind) {
        case RxEffect::Nothing:
            break;
        case RxEffect::Append:
            appendText(QString(QLatin1Char(effect.ch)));
            break;
        case RxEffect::ClearThenLineBreak:
            clearText();
            [[fallthrough]];
        case RxEffect::LineBreak:
            appendText(QStringLiteral("\r\n"));
            break;
        case RxEffect::Status:
            emit statusMessage(effect.status);
            break;
    }
}

void BoardSession::onBreak() {
    services_.prompts->message(QStringLiteral("Received BREAK!!!"), MsgButtons::Ok,
                               MsgIcon::Exclamation, QStringLiteral("Error in Communication..."));
    SerialLine& line = *services_.serial;
    if (line.isOpen()) {
        line.close();
        if (!line.open()) {
            onLineLost(line.lastError());
        }
    }
}

void BoardSession::onLineLost(const QString& reason) {
    if (Connected != 1) {
        return;
    }
    // The device went away: the running operation stops, the session is disconnected once,
    // and then says why.
    requestStop();
    Connected = 0;
    if (UsbHandle != 0 && usbWorker_) {
        // The handle of a device that is gone is released, so a replug can be opened again.
        usbWorker_->close(UsbHandle);
        UsbHandle = 0;
    }
    emit connectionChanged(false);
    emit lineLost(reason);
    refuse(QStringLiteral("CONNECTION LOST"));
    services_.prompts->message(
        QStringLiteral("The connection to the board was lost: %1").arg(reason), MsgButtons::Ok,
        MsgIcon::Exclamation, QStringLiteral("Error in Communication..."));
}

// ---------------------------------------------------------------------------------------------
// Waits

void BoardSession::onTick() {
    ++TickCount;
    if (TickCount > 32000) {
        TickCount = 0;
    }
}

bool BoardSession::waitUntil(const std::function<bool()>& done) {
    const bool finished = wait::until([&] { return stopping() || done(); });
    return finished && !stopping();
}

bool BoardSession::waitTicks(int ticks) {
    TickCount = 0;
    return waitUntil([&] { return TickCount >= ticks; });
}

void BoardSession::shutDown() {
    shutDown_ = true;
}

// ---------------------------------------------------------------------------------------------
// One operation at a time

BoardSession::Operation::Operation(Operation&& other) noexcept : session_(other.session_) {
    other.session_ = nullptr;
}

BoardSession::Operation::~Operation() {
    if (session_) {
        session_->finishOperation();
    }
}

BoardSession::Operation BoardSession::begin() {
    if (busy_ || shutDown_) {
        return Operation();
    }
    busy_ = true;
    stopRequested_ = false;
    refusal_.clear();
    emit busyChanged(true);
    return Operation(this);
}

void BoardSession::finishOperation() {
    busy_ = false;
    stopRequested_ = false;
    emit busyChanged(false);
}

void BoardSession::requestStop() {
    if (busy_) {
        stopRequested_ = true;
    }
}

bool BoardSession::sendKeys(const QByteArray& keys) {
    if (busy_) {
        if (!keys_.empty()) {
            keys_.insert(keys_.end(), keys.begin(), keys.end());
            return true;  // the running key operation sends them after the ones before
        }
        return false;
    }
    Operation op = begin();
    if (!op) {
        return false;
    }
    keys_.insert(keys_.end(), keys.begin(), keys.end());
    while (!keys_.empty() && !stopping()) {
        const char byte = keys_.front();
        // Over USB the board's answers are read only while a reply is expected.
        ExpectReply = true;
        sendCommand(frames::keystroke(byte));
        keys_.pop_front();
    }
    keys_.clear();
    return true;
}

// ---------------------------------------------------------------------------------------------
// The modem

bool BoardSession::dial() {
    modemFailure_.clear();
    // Raw on the port: the modem is not the board, so no framing and no address bytes.
    services_.serial->write(frames::dialString(PhoneNumber));
    if (!waitTicks(kDialSettleTicks)) {
        modemFailure_ = QString::fromLatin1(kModemNoAnswer);
        return false;
    }
    const QString word = WaitForConnect();
    if (word == QLatin1String(kModemSuccess)) {
        return true;
    }
    modemFailure_ = word;
    return false;
}

QString BoardSession::WaitForConnect() {
    RxCount = 0;
    TickCount = 0;
    clearText();
    for (;;) {
        if (TickCount >= kAnswerTicks) {
            return QString::fromLatin1(kModemNoAnswer);
        }
        const int16_t received = RxCount;
        const int16_t ticks = TickCount;
        if (!waitUntil([&] { return RxCount != received || TickCount != ticks; })) {
            return QString::fromLatin1(kModemNoAnswer);  // stopped or shutting down
        }
        if (auto word = modemResult(text_, RxCount)) {
            return *word;
        }
    }
}

}  // namespace tarvo
