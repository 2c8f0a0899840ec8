#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tarvo {

// The board maker's six-call USB contract.
class UsbLibrary {
  public:
    static constexpr int32_t kVendor = 0x0F0F;
    static constexpr int kReadBufferSize = 5000;

    // What USB_Write and USB_Read return besides a byte count. A negative status means the
    // connection is gone (or going): the caller ends it. A quiet board is no fault.
    static constexpr int32_t kUsbOk = 0;
    static constexpr int32_t kUsbNoDevice = -1;
    static constexpr int32_t kUsbIoError = -2;
    static constexpr int32_t kUsbStall = -3;
    // The program is quitting; the transfer was not waited for.
    static constexpr int32_t kUsbClosing = -4;

    static bool isFault(int32_t status) { return status < 0; }
    // "no device", "I/O error", ... for a message; empty for a status that is no fault.
    static QString statusText(int32_t status) {
        switch (status) {
            case kUsbNoDevice:
                return QStringLiteral("the USB board is gone");
            case kUsbIoError:
                return QStringLiteral("USB input/output error");
            case kUsbStall:
                return QStringLiteral("the USB board stalled the transfer");
            case kUsbClosing:
                return QStringLiteral("the program is closing");
            default:
                return {};
        }
    }

    virtual ~UsbLibrary() = default;

    // Number of devices with these ids; above 0 means one is present.
    virtual int32_t USB_Scan(int32_t vendor, int32_t product) = 0;
    // A handle for the first such device, 0 when none could be opened (lastError() then says
    // why). `reserved` is 0.
    virtual int32_t USB_Open(int32_t vendor, int32_t product, int32_t reserved) = 0;
    // Sends `count` bytes of `data` to the board as one transfer. The bytes sent, or a
    // negative status when the device is gone, stalled or failed.
    virtual int32_t USB_Write(int32_t handle, const QByteArray& data, int32_t count) = 0;
    // `buffer` holds kReadBufferSize blanks on entry. When the board sent something it is
    // filled with a count byte n followed by n data bytes; otherwise left as it is.
    // `firstTimeoutMs` and `nextTimeoutMs` are the two constants of the call (1000, 500).
    // The data bytes read (0 for a quiet board), or a negative status as for USB_Write; data
    // read before a fault is still in the buffer.
    virtual int32_t USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                             int32_t nextTimeoutMs) = 0;
    virtual int32_t USB_Close(int32_t handle) = 0;
    virtual int32_t USB_GetVersion() = 0;

    // Why the last USB_Open returned 0; empty when it found nothing to open.
    virtual QString lastError() const { return {}; }
};

}  // namespace tarvo
