#include "drivers/sim_usb_library.h"

#include <algorithm>

namespace tarvo::sim {

SimUsbLibrary::SimUsbLibrary(BoardModel& model, int32_t product)
    : model_(model), product_(product) {
    clock_.start();
}

int32_t SimUsbLibrary::USB_Scan(int32_t vendor, int32_t product) {
    return vendor == kVendor && product == product_ ? 1 : 0;
}

int32_t SimUsbLibrary::USB_Open(int32_t vendor, int32_t product, int32_t) {
    if (USB_Scan(vendor, product) == 0) {
        return 0;
    }
    open_ = true;
    pending_.clear();
    return kHandle;
}

int32_t SimUsbLibrary::USB_Write(int32_t handle, const QByteArray& data, int32_t count) {
    if (!open_ || handle != kHandle || count < 0) {
        return 0;
    }
    ++writes_;
    const QByteArray bytes = data.left(count);
    for (const Reply& r : model_.receive(bytes, clock_.elapsed())) {
        pending_ += r.bytes;
    }
    return count;
}

int32_t SimUsbLibrary::USB_Read(int32_t handle, QByteArray& buffer, int32_t, int32_t) {
    if (!open_ || handle != kHandle || pending_.isEmpty()) {
        return 0;  // nothing arrived: the caller's blanks stay
    }
    int n = static_cast<int>(std::min<qsizetype>(pending_.size(), 255));
    // A count of 32 in front of blanks would read as an untouched buffer.
    if (n == 0x20) {
        n = 31;
    }
    if (buffer.size() < n + 1) {
        buffer.resize(n + 1);
    }
    buffer[0] = static_cast<char>(n);
    std::copy_n(pending_.constData(), n, buffer.data() + 1);
    pending_.remove(0, n);
    return n;
}

int32_t SimUsbLibrary::USB_Close(int32_t handle) {
    if (handle != kHandle) {
        return 0;
    }
    open_ = false;
    pending_.clear();
    model_.hangUp();
    return 1;
}

}  // namespace tarvo::sim
