#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <set>
#include <vector>

#include "platform/usb_library.h"

namespace tarvo::test {

// The six-call USB contract with scripted devices and replies, logging every call.
class FakeUsbLibrary : public UsbLibrary {
  public:
    struct Call {
        QString name;               // "USB_Scan", "USB_Open", ...
        std::vector<int32_t> args;  // the integer arguments, in order
        QByteArray data;            // USB_Write: the `count` bytes sent
    };

    // Products (of vendor 0x0F0F) that are plugged in: USB_Scan returns 1 for them.
    std::set<int32_t> present;
    // Handle USB_Open gives a present device; each open hands out the next number.
    int32_t nextHandle = 1;

    std::vector<Call> calls;
    // Names of the calls, in order.
    QStringList callNames() const;
    // Bytes of every USB_Write, in order.
    QByteArray written() const;

    // Each entry is what one USB_Read puts at the start of the buffer (a count byte and the
    // data); a read with the queue empty leaves the buffer as it was.
    std::deque<QByteArray> reads;
    // Queues `data` as replies of at most 255 bytes each, with their count bytes.
    void pushReply(const QByteArray& data);

    // Called after each USB_Write with the bytes sent; may call pushReply.
    std::function<void(const QByteArray&)> onWrite;

    // Set: every later write and read fails with this status (a board gone, a stall).
    int32_t fault = 0;
    // Set: a present board cannot be opened, for this reason.
    QString openError;

    int32_t USB_Scan(int32_t vendor, int32_t product) override;
    int32_t USB_Open(int32_t vendor, int32_t product, int32_t reserved) override;
    int32_t USB_Write(int32_t handle, const QByteArray& data, int32_t count) override;
    int32_t USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                     int32_t nextTimeoutMs) override;
    int32_t USB_Close(int32_t handle) override;
    int32_t USB_GetVersion() override;
    QString lastError() const override { return openError; }
};

}  // namespace tarvo::test
