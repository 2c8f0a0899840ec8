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
#include "session/stored_choices.h"

namespace tarvo {

// Every co_await stands in a statement of its own, its result in a named variable: g++ 12
// mistranslates a co_await inside a condition, && or ||, or co_return.
namespace {
// A lambda that captures anything with a destructor is made a named job before a co_await
// takes it: g++ 12 destroys such a temporary twice when it is an operand of co_await.
using UsbJob = std::function<void(UsbLibrary&)>;
const QString kPlainSettings = QStringLiteral("9600,N,8,1");
const QString kAddressSettings = QStringLiteral("9600,M,8,1");
const QString kDataSettings = QStringLiteral("9600,S,8,1");
constexpr int32_t kUsbProducts[] = {0x4000, 0x4002, 0x2000};
constexpr int32_t kUsbFirstTimeout = 1000;
constexpr int32_t kUsbNextTimeout = 500;
// A board that never stops talking does not hold one frame's reply for ever.
constexpr qint64 kUsbReplyLimitMs = 60'000;
// The received text keeps at most this many characters (a terminal session can run for
// hours); every operation clears it first and reads far less.
constexpr qsizetype kMaxText = 2'000'000;
// The close-session frame gets as long as its bytes need at 9600 baud (ten bits a byte), and
// two seconds more; a line whose other end stopped reading must not hold the close forever.
constexpr int kCloseGraceMs = 2000;
constexpr int kBitsPerByte = 10;
constexpr int kBaud = 9600;
constexpr int kDrainPollMs = 10;
}  // namespace

BoardSession::BoardSession(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    // The fine timer paces the address-bit pause of multi-drop frames; it ticks only while a
    // delay needs it, so an idle session sleeps.
    realTimer_ = new QTimer(this);
    realTimer_->setObjectName(QStringLiteral("RealTimer"));
    realTimer_->setTimerType(Qt::PreciseTimer);
    connect(realTimer_, &QTimer::timeout, this, [this] {
        ++RealTicks;
        wake();
    });
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
        connect(usbWorker_, &UsbWorker::finished, this, &BoardSession::wake);
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
    shutDown();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

QCoro::Task<int32_t> BoardSession::OpenTarvoBoard() {
    refusal_.clear();
    setLinkState(LinkState::Connecting);
    bool opened = false;
    if (options_.usb()) {
        opened = co_await openUsb();
    } else {
        opened = co_await openSerial();
    }
    if (!opened) {
        setLinkState(LinkState::Disconnected);
        co_return 0;
    }
    Connected = 1;
    setLinkState(LinkState::Connected);
    co_await WriteToTarvoBoard(frames::openSession(), 3);
    emit connectionChanged(true);
    co_return 1;
}

QCoro::Task<bool> BoardSession::openSerial() {
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
        co_return false;
    }
    if (PhoneNumber.isEmpty()) {
        co_return true;
    }
    setLinkState(LinkState::Dialling);
    const bool dialled = co_await dial();
    if (dialled) {
        setLinkState(LinkState::Connecting);
        co_return true;
    }
    // A modem that did not connect (or a dial that was stopped) is no link: the port is not
    // left open behind a failed connect.
    line.close();
    co_return false;
}

QCoro::Task<bool> BoardSession::onUsbThread(std::function<void(UsbLibrary&)> job) {
    const UsbWorker::Done done = usbWorker_->post(std::move(job));
    while (!done->load() && !shutDown_) {
        co_await nextEvent();
    }
    co_return done->load();
}

QCoro::Task<bool> BoardSession::openUsb() {
    if (!usbWorker_) {
        refusal_ = QStringLiteral("No Tarvo Board found on USB");
        co_return false;
    }
    for (int32_t product : kUsbProducts) {
        auto count = std::make_shared<int32_t>(0);
        UsbJob scan = [count, product](UsbLibrary& usb) {
            *count = usb.USB_Scan(UsbLibrary::kVendor, product);
        };
        const bool scanned = co_await onUsbThread(std::move(scan));
        if (!scanned) {
            co_return false;
        }
        if (*count <= 0) {
            continue;
        }
        struct Opened {
            int32_t handle = 0;
            QString error;
        };
        auto opened = std::make_shared<Opened>();
        UsbJob open = [opened, product](UsbLibrary& usb) {
            opened->handle = usb.USB_Open(UsbLibrary::kVendor, product, 0);
            opened->error = opened->handle == 0 ? usb.lastError() : QString();
        };
        const bool finished = co_await onUsbThread(std::move(open));
        if (!finished) {
            // Nobody is left to use a handle that arrives after a shut-down: the job after
            // the open closes it, so nothing stays claimed.
            usbWorker_->post([opened](UsbLibrary& usb) {
                if (opened->handle != 0) {
                    usb.USB_Close(opened->handle);
                }
            });
            co_return false;
        }
        UsbHandle = opened->handle;
        if (UsbHandle == 0) {
            // Found but not opened (no permission, claimed elsewhere): no connection.
            refusal_ = QStringLiteral("The Tarvo Board on USB could not be opened");
            if (!opened->error.isEmpty()) {
                refusal_ += QStringLiteral(": ") + opened->error;
            }
            co_return false;
        }
        co_return true;
    }
    refusal_ = QStringLiteral("No Tarvo Board found on USB");
    co_return false;
}

QCoro::Task<int32_t> BoardSession::CloseTarvoBoard() {
    co_await WriteToTarvoBoard(frames::closeSession(), 3);
    if (!options_.usb()) {
        SerialLine& line = *services_.serial;
        // Let the close-session command leave before the port goes, within what its bytes
        // need; the port's close discards the rest.
        const int boundMs = line.outBufferCount() * kBitsPerByte * 1000 / kBaud + kCloseGraceMs;
        QElapsedTimer draining;
        draining.start();
        while (line.outBufferCount() > 0 && draining.elapsed() < boundMs) {
            const bool slept = co_await sleepMs(kDrainPollMs, false);
            if (!slept) {
                break;
            }
        }
        line.close();
    } else if (UsbHandle != 0 && usbWorker_) {
        const int32_t handle = UsbHandle;
        UsbHandle = 0;
        // Runs on the USB thread before it ends even when the session goes first.
        UsbJob close = [handle](UsbLibrary& usb) { usb.USB_Close(handle); };
        co_await onUsbThread(std::move(close));
    }
    Connected = 0;
    setTerminalMode(false);
    setLinkState(LinkState::Disconnected);
    emit connectionChanged(false);
    co_return 1;
}

// ---------------------------------------------------------------------------------------------
// Writing

QCoro::Task<int32_t> BoardSession::WriteToTarvoBoard(QByteArray frame, int32_t length) {
    bool sent = false;
    if (options_.usb()) {
        sent = co_await writeUsb(frame, length);
    } else if (options_.multiDrop()) {
        sent = co_await writeMultiDrop(frame, length);
    } else {
        sent = writeSerialPlain(frame);
    }
    co_return sent ? 1 : 0;
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

QCoro::Task<bool> BoardSession::writeMultiDrop(QByteArray frame, int32_t length) {
    // A text that is no whole number 0..255 (or no text) must never become some other
    // address byte.
    const auto address = multiDropAddress(options_.multiDropAddress);
    if (!address) {
        refuse(QStringLiteral("INVALID MULTI DROP ADDRESS"));
        co_return false;
    }
    if (length > frames::kLargestMultiDropFrame) {
        refuse(QStringLiteral("FRAME TOO LONG FOR MULTI DROP"));
        co_return false;
    }
    SerialLine& line = *services_.serial;
    if (!line.isOpen()) {
        refuse(QStringLiteral("CONNECTION LOST"));
        co_return false;
    }
    // The address byte carries the 9th bit as mark parity; the parity may only change once
    // the byte has left the line.
    line.setSettings(kAddressSettings);
    line.write(QByteArray(1, static_cast<char>(*address)));
    line.drain();
    co_await RealTimeDelay(AddressBitDelay);
    // The line may have gone during the pause; the rest of the frame then has nowhere to go.
    if (!line.isOpen()) {
        refuse(QStringLiteral("CONNECTION LOST"));
        co_return false;
    }
    line.setSettings(kDataSettings);
    for (char c : frames::multiDropBody(frame.left(length))) {
        line.write(QByteArray(1, c));
    }
    co_return true;
}

QCoro::Task<bool> BoardSession::writeUsb(QByteArray frame, int32_t length) {
    if (!usbWorker_ || UsbHandle == 0) {
        refuse(QStringLiteral("PLEASE CONNECT FIRST"));
        co_return false;
    }
    const int32_t handle = UsbHandle;
    auto status = std::make_shared<int32_t>(UsbLibrary::kUsbClosing);
    UsbJob write = [status, handle, frame, length](UsbLibrary& usb) {
        *status = usb.USB_Write(handle, frame, length);
    };
    co_await onUsbThread(std::move(write));
    if (!usbOk(*status)) {
        co_return false;
    }
    QElapsedTimer replying;
    replying.start();
    while (ExpectReply && !stopping() && replying.elapsed() < kUsbReplyLimitMs) {
        auto read = std::make_shared<UsbReadResult>();
        read->status = UsbLibrary::kUsbClosing;
        read->buffer = QByteArray(UsbLibrary::kReadBufferSize, ' ');
        UsbJob poll = [read, handle](UsbLibrary& usb) {
            read->status = usb.USB_Read(handle, read->buffer, kUsbFirstTimeout, kUsbNextTimeout);
        };
        co_await onUsbThread(std::move(poll));
        if (shutDown_) {
            co_return false;
        }
        const QByteArray& buffer = read->buffer;
        if (buffer.size() < UsbLibrary::kReadBufferSize || buffer.left(64) == QByteArray(64, ' ')) {
            co_return usbOk(read->status);  // nothing arrived
        }
        // What came before a fault is the board's too.
        const int count = static_cast<unsigned char>(buffer.at(0));
        for (int i = 1; i <= count && !shutDown_; ++i) {
            ParseDataInWindow(buffer.at(i));
        }
        if (!usbOk(read->status)) {
            co_return false;
        }
    }
    co_return true;
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

QCoro::Task<> BoardSession::RealTimeDelay(int32_t milliseconds) {
    // A stored delay beyond the largest is taken as the largest, so the pause stays within a
    // second whatever the store says.
    milliseconds = std::min(milliseconds, kLargestAddressBitDelay);
    if (milliseconds <= 0) {
        co_return;
    }
    RealTicks = 0;
    realTimer_->start(std::clamp(AddressBitDelay, 1, kLargestAddressBitDelay));
    // Not cut short by a stop: the frame whose address already went out is finished whole.
    while (RealTicks < milliseconds && !shutDown_) {
        co_await nextEvent();
    }
    realTimer_->stop();
}

QCoro::Task<bool> BoardSession::SendToTarvoBoard(QByteArray frame) {
    if (Connected != 1) {
        refuse(QStringLiteral("PLEASE CONNECT FIRST"));
        co_return false;
    }
    if (shutDown_ && !options_.usb() && !services_.serial->isOpen()) {
        co_return false;
    }
    const int32_t length = static_cast<int32_t>(frame.size());
    const int32_t written = co_await WriteToTarvoBoard(frame, length);
    co_return written == 1;
}

QCoro::Task<bool> BoardSession::sendPrefixFor(frames::Command command, bool continues) {
    if (options_.target != Target::Brisko) {
        co_return true;
    }
    // The prefix begins the command: a stop lands before it or after the whole command.
    if (stopping() && !continues) {
        co_return false;
    }
    auto prefixed = co_await SendToTarvoBoard(frames::targetPrefix(command.prefixCode));
    co_return prefixed;
}

QCoro::Task<bool> BoardSession::sendPieces(frames::Command command, bool continues) {
    // Without a prefix the first piece begins the command.
    if (options_.target != Target::Brisko && stopping() && !continues) {
        co_return false;
    }
    for (const QByteArray& piece : command.pieces) {
        // A command the transport refused part of is not finished with other pieces.
        const bool sent = co_await SendToTarvoBoard(piece);
        if (!sent) {
            co_return false;
        }
    }
    co_return true;
}

QCoro::Task<bool> BoardSession::sendCommand(frames::Command command, bool continues) {
    const bool prefixed = co_await sendPrefixFor(command, continues);
    if (!prefixed) {
        co_return false;
    }
    auto whole = co_await sendPieces(command, continues);
    co_return whole;
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
    // The waits look again once the characters that came together are all in: an operation
    // never resumes (and closes the port) between two characters of one read.
    if (!wakePending_) {
        wakePending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                wakePending_ = false;
                wake();
            },
            Qt::QueuedConnection);
    }
}

void BoardSession::ParseDataInWindow(char c) {
    MSComm1_OnComm(c);
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
        usbWorker_->post([handle = UsbHandle](UsbLibrary& usb) { usb.USB_Close(handle); });
        UsbHandle = 0;
    }
    setTerminalMode(false);
    setLinkState(LinkState::Disconnected);
    emit connectionChanged(false);
    emit lineLost(reason);
    refuse(QStringLiteral("CONNECTION LOST"));
    services_.prompts->message(
        QStringLiteral("The connection to the board was lost: %1").arg(reason), MsgButtons::Ok,
        MsgIcon::Exclamation, QStringLiteral("Error in Communication..."));
}

}  // namespace tarvo
