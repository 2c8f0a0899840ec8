#pragma once

#include <QByteArray>
#include <cstdint>

namespace tarvo {

// The board maker's six-call USB contract.
class UsbLibrary {
  public:
    static constexpr int32_t kVendor = 0x0F0F;
    static constexpr int kReadBufferSize = 5000;

    virtual ~UsbLibrary() = default;

    // Number of devices with these ids; above 0 means one is present.
    virtual int32_t USB_Scan(int32_t vendor, int32_t product) = 0;
    // A handle for the first such device, 0 when none could be opened. `reserved` is 0.
    virtual int32_t USB_Open(int32_t vendor, int32_t product, int32_t reserved) = 0;
    // Sends `count` bytes of `data` to the board as one transfer.
    virtual int32_t USB_Write(int32_t handle, const QByteArray& data, int32_t count) = 0;
    // `buffer` holds kReadBufferSize blanks on entry. When the board sent something it is
    // filled with a count byte n followed by n data bytes; otherwise left as it is.
    // `firstTimeoutMs` and `nextTimeoutMs` are the two constants of the call (1000, 500).
    virtual int32_t USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                             int32_t nextTimeoutMs) = 0;
    virtual int32_t USB_Close(int32_t handle) = 0;
    virtual int32_t USB_GetVersion() = 0;
};

}  // namespace tarvo
