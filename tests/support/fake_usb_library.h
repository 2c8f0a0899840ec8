#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <algorithm>
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
    QStringList callNames() const {
        QStringList out;
        for (const auto& c : calls) {
            out << c.name;
        }
        return out;
    }
    // Bytes of every USB_Write, in order.
    QByteArray written() const {
        QByteArray out;
        for (const auto& c : calls) {
            if (c.name == QLatin1String("USB_Write")) {
                out += c.data;
            }
        }
        return out;
    }

    // Each entry is what one USB_Read puts at the start of the buffer (a count byte and the
    // data); a read with the queue empty leaves the buffer as it was.
    std::deque<QByteArray> reads;
    // Queues `data` as replies of at most 255 bytes each, with their count bytes.
    void pushReply(const QByteArray& data) {
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray chunk = data.mid(at, 255);
            reads.push_back(QByteArray(1, static_cast<char>(chunk.size())) + chunk);
        }
    }

    // Called after each USB_Write with the bytes sent; may call pushReply.
    std::function<void(const QByteArray&)> onWrite;

    // Set: every later write and read fails with this status (a board gone, a stall).
    int32_t fault = 0;
    // Set: a present board cannot be opened, for this reason.
    QString openError;

    int32_t USB_Scan(int32_t vendor, int32_t product) override {
        calls.push_back({QStringLiteral("USB_Scan"), {vendor, product}, {}});
        return vendor == kVendor && present.count(product) ? 1 : 0;
    }
    int32_t USB_Open(int32_t vendor, int32_t product, int32_t reserved) override {
        calls.push_back({QStringLiteral("USB_Open"), {vendor, product, reserved}, {}});
        if (vendor != kVendor || !present.count(product) || !openError.isEmpty()) {
            return 0;
        }
        return nextHandle++;
    }
    int32_t USB_Write(int32_t handle, const QByteArray& data, int32_t count) override {
        const QByteArray sentData = data.left(std::max<int32_t>(count, 0));
        calls.push_back({QStringLiteral("USB_Write"), {handle, count}, sentData});
        if (fault != 0) {
            return fault;
        }
        if (onWrite) {
            onWrite(sentData);
        }
        return static_cast<int32_t>(sentData.size());
    }
    int32_t USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                     int32_t nextTimeoutMs) override {
        calls.push_back({QStringLiteral("USB_Read"), {handle, firstTimeoutMs, nextTimeoutMs}, {}});
        if (fault != 0 || reads.empty()) {
            return fault;
        }
        const QByteArray r = reads.front();
        reads.pop_front();
        if (buffer.size() < r.size()) {
            buffer.resize(r.size());
        }
        buffer.replace(0, r.size(), r);
        return static_cast<int32_t>(r.size());
    }
    int32_t USB_Close(int32_t handle) override {
        calls.push_back({QStringLiteral("USB_Close"), {handle}, {}});
        return 1;
    }
    int32_t USB_GetVersion() override {
        calls.push_back({QStringLiteral("USB_GetVersion"), {}, {}});
        return 123;
    }
    QString lastError() const override { return openError; }
};

}  // namespace tarvo::test
