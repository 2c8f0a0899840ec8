#include "support/fake_usb_library.h"

#include <QStringList>
#include <algorithm>

namespace tarvo::test {

QStringList FakeUsbLibrary::callNames() const {
    QStringList out;
    for (const auto& c : calls) {
        out << c.name;
    }
    return out;
}

QByteArray FakeUsbLibrary::written() const {
    QByteArray out;
    for (const auto& c : calls) {
        if (c.name == QLatin1String("USB_Write")) {
            out += c.data;
        }
    }
    return out;
}

void FakeUsbLibrary::pushReply(const QByteArray& data) {
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray chunk = data.mid(at, 255);
        reads.push_back(QByteArray(1, static_cast<char>(chunk.size())) + chunk);
    }
}

int32_t FakeUsbLibrary::USB_Scan(int32_t vendor, int32_t product) {
    calls.push_back({QStringLiteral("USB_Scan"), {vendor, product}, {}});
    return vendor == kVendor && present.count(product) ? 1 : 0;
}

int32_t FakeUsbLibrary::USB_Open(int32_t vendor, int32_t product, int32_t reserved) {
    calls.push_back({QStringLiteral("USB_Open"), {vendor, product, reserved}, {}});
    if (vendor != kVendor || !present.count(product) || !openError.isEmpty()) {
        return 0;
    }
    return nextHandle++;
}

int32_t FakeUsbLibrary::USB_Write(int32_t handle, const QByteArray& data, int32_t count) {
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

int32_t FakeUsbLibrary::USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                                 int32_t nextTimeoutMs) {
    calls.push_back({QStringLiteral("USB_Read"), {handle, firstTimeoutMs, nextTimeoutMs}, {}});
    if (fault != 0) {
        return fault;
    }
    if (reads.empty()) {
        return 0;
    }
    const QByteArray r = reads.front();
    reads.pop_front();
    if (buffer.size() < r.size()) {
        buffer.resize(r.size());
    }
    buffer.replace(0, r.size(), r);
    return static_cast<int32_t>(r.size());
}

int32_t FakeUsbLibrary::USB_Close(int32_t handle) {
    calls.push_back({QStringLiteral("USB_Close"), {handle}, {}});
    return 1;
}

int32_t FakeUsbLibrary::USB_GetVersion() {
    calls.push_back({QStringLiteral("USB_GetVersion"), {}, {}});
    return 123;
}

}  // namespace tarvo::test
