#include "link/board_link.h"

#include "core/numeric.h"
#include "link/modem_dial.h"
#include "link/receive_path.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {
const QString kPlainSettings = QStringLiteral("9600,N,8,1");
const QString kAddressSettings = QStringLiteral("9600,M,8,1");
const QString kDataSettings = QStringLiteral("9600,S,8,1");
constexpr int32_t kUsbProducts[] = {0x4000, 0x4002, 0x2000};
constexpr int32_t kUsbFirstTimeout = 1000;
constexpr int32_t kUsbNextTimeout = 500;
}  // namespace

BoardLink::BoardLink(RetreiveAccountingApp& w) : w_(w) {}

int32_t BoardLink::OpenTarvoBoard() {
    const bool opened = w_.usbChosen() ? openUsb() : openSerial();
    if (!opened) {
        return 0;
    }
    WriteToTarvoBoard(frames::openSession(), 3);
    w_.Connected = 1;
    return 1;
}

bool BoardLink::openSerial() {
    SerialLine& line = *w_.platform().serial;
    const bool addressed = w_.Option4->isChecked() && !w_.MultiDropAddress->currentText().isEmpty();
    line.setSettings(addressed ? kDataSettings : kPlainSettings);
    line.setPortNumber(w_.COMInterface->currentIndex() + 1);
    w_.modemDial().forgetFailure();
    // A missing, busy or non-serial device is a failed open; the line stays closed.
    if (!line.open()) {
        return false;
    }
    if (w_.PhoneNumber.isEmpty() || w_.modemDial().dial()) {
        return true;
    }
    // A modem that did not connect is no link: the port is not left open behind a failed
    // connect.
    line.close();
    return false;
}

bool BoardLink::openUsb() {
    UsbLibrary* usb = w_.platform().usb.get();
    if (!usb) {
        return false;
    }
    for (int32_t product : kUsbProducts) {
        if (usb->USB_Scan(UsbLibrary::kVendor, product) > 0) {
            w_.UsbHandle = usb->USB_Open(UsbLibrary::kVendor, product, 0);
            return true;
        }
    }
    return false;
}

int32_t BoardLink::WriteToTarvoBoard(const QByteArray& frame, int32_t length) {
    if (w_.usbChosen()) {
        writeUsb(frame, length);
    } else if (w_.Option4->isChecked()) {
        writeMultiDrop(frame, length);
    } else {
        writeSerialPlain(frame);
    }
    return 1;
}

void BoardLink::writeSerialPlain(const QByteArray& frame) {
    SerialLine& line = *w_.platform().serial;
    for (char c : frame) {
        line.write(QByteArray(1, c));
    }
}

void BoardLink::writeMultiDrop(const QByteArray& frame, int32_t length) {
    const QString addressText = w_.MultiDropAddress->currentText();
    if (addressText.isEmpty()) {
        return;  // no address: nothing can be sent
    }
    // A text that is no whole number 0..255 must never become some other address byte.
    const auto address = multiDropAddress(addressText);
    if (!address) {
        w_.SystemMessage->setText(QStringLiteral("INVALID MULTI DROP ADDRESS"));
        return;
    }
    if (length > 255) {
        w_.SystemMessage->setText(QStringLiteral("FRAME TOO LONG FOR MULTI DROP"));
        return;
    }
    SerialLine& line = *w_.platform().serial;
    // The address byte carries the 9th bit as mark parity; the parity may only change once
    // the byte has left the line.
    line.setSettings(kAddressSettings);
    line.write(QByteArray(1, static_cast<char>(*address)));
    line.drain();
    RealTimeDelay(w_.AddressBitDelay);
    line.setSettings(kDataSettings);
    line.write(QByteArray(1, static_cast<char>(length)));
    writeSerialPlain(frame);
}

void BoardLink::writeUsb(const QByteArray& frame, int32_t length) {
    UsbLibrary* usb = w_.platform().usb.get();
    if (!usb || w_.UsbHandle == 0) {
        return;
    }
    usb->USB_Write(w_.UsbHandle, frame, length);
    while (w_.ExpectReply && !w_.closing()) {
        QByteArray buffer(UsbLibrary::kReadBufferSize, ' ');
        usb->USB_Read(w_.UsbHandle, buffer, kUsbFirstTimeout, kUsbNextTimeout);
        if (buffer.left(64) == QByteArray(64, ' ')) {
            break;  // nothing arrived
        }
        const int count = static_cast<unsigned char>(buffer.at(0));
        for (int i = 1; i <= count && !w_.closing(); ++i) {
            w_.receivePath().ParseDataInWindow(buffer.at(i));
        }
    }
}

int32_t BoardLink::CloseTarvoBoard() {
    WriteToTarvoBoard(frames::closeSession(), 3);
    if (!w_.usbChosen()) {
        SerialLine& line = *w_.platform().serial;
        // Let the close-session command leave before the port goes.
        w_.waitUntil([&] { return line.outBufferCount() == 0; });
        line.close();
    } else if (w_.UsbHandle != 0 && w_.platform().usb) {
        w_.platform().usb->USB_Close(w_.UsbHandle);
    }
    w_.Connected = 0;
    return 1;
}

void BoardLink::RealTimeDelay(int32_t milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    w_.RealTicks = 0;
    w_.RealTimer->start(std::max(1, w_.AddressBitDelay));
    w_.waitUntil([&] { return w_.RealTicks >= milliseconds; });
    w_.RealTimer->stop();
}

void BoardLink::RealTimer_Timer() {
    ++w_.RealTicks;
}

void BoardLink::SendToTarvoBoard(const QByteArray& frame) {
    if (w_.Connected == 1) {
        WriteToTarvoBoard(frame, static_cast<int32_t>(frame.size()));
    } else {
        w_.SystemMessage->setText(QStringLiteral("PLEASE CONNECT FIRST"));
    }
}

void BoardLink::sendPrefixFor(const frames::Command& command) {
    if (w_.Option1->isChecked()) {
        SendToTarvoBoard(frames::targetPrefix(command.prefixCode));
    }
}

void BoardLink::sendPieces(const frames::Command& command) {
    for (const QByteArray& piece : command.pieces) {
        SendToTarvoBoard(piece);
    }
}

void BoardLink::sendCommand(const frames::Command& command) {
    sendPrefixFor(command);
    sendPieces(command);
}

bool BoardLink::refusesAddressZero(const QString& message) {
    if (!w_.Option4->isChecked()) {
        return false;
    }
    // Only a text that reads as address 0 is refused here; any other text that is no valid
    // address is stopped by the transport, which never sends it.
    const auto address = multiDropAddress(w_.MultiDropAddress->currentText());
    if (!address || *address != 0) {
        return false;
    }
    w_.platform().prompts->message(message, MsgButtons::Ok, MsgIcon::Critical,
                                   QStringLiteral("ILLEGAL COMMAND"));
    return true;
}

}  // namespace tarvo
