#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <memory>

#include "platform/usb_library.h"

struct libusb_context;
struct libusb_device_handle;

namespace tarvo {

// The six-call USB contract on libusb-1.0: bulk endpoints of interface 0, handles as small
// positive numbers.
class LibusbLibrary : public UsbLibrary {
  public:
    // Null when libusb cannot start; the program then runs without USB.
    static std::unique_ptr<LibusbLibrary> create();
    ~LibusbLibrary() override;
    LibusbLibrary(const LibusbLibrary&) = delete;
    LibusbLibrary& operator=(const LibusbLibrary&) = delete;

    int32_t USB_Scan(int32_t vendor, int32_t product) override;
    int32_t USB_Open(int32_t vendor, int32_t product, int32_t reserved) override;
    int32_t USB_Write(int32_t handle, const QByteArray& data, int32_t count) override;
    int32_t USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                     int32_t nextTimeoutMs) override;
    int32_t USB_Close(int32_t handle) override;
    // libusb's version as major * 10000 + minor * 100 + micro (1.0.26 is 10026).
    int32_t USB_GetVersion() override;
    QString lastError() const override { return lastError_; }

    // Most data bytes one read hands back: its count is a single byte.
    static constexpr int kMaxReadData = 255;

  private:
    struct Device {
        libusb_device_handle* handle = nullptr;
        unsigned char endpointIn = 0;
        unsigned char endpointOut = 0;
        int packetSize = 64;
        // Bytes the device sent beyond the last read's 255; the next read starts with them.
        QByteArray leftover;
    };

    explicit LibusbLibrary(libusb_context* context) : context_(context) {}
    Device* find(int32_t handle);

    libusb_context* context_;
    std::map<int32_t, Device> devices_;
    int32_t nextHandle_ = 1;
    QString lastError_;
};

}  // namespace tarvo
