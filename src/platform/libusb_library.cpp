#include "platform/libusb_library.h"

#include <libusb.h>

#include <QString>
#include <algorithm>

namespace tarvo {
namespace {

constexpr int kInterface = 0;
constexpr unsigned kWriteTimeoutMs = 2000;

bool matches(libusb_device* dev, int32_t vendor, int32_t product) {
    libusb_device_descriptor d{};
    return libusb_get_device_descriptor(dev, &d) == 0 && d.idVendor == vendor &&
           d.idProduct == product;
}

// Finds the first bulk IN and OUT endpoints of interface 0, alternate setting 0.
bool findBulkEndpoints(libusb_device* dev, unsigned char& in, unsigned char& out, int& packetSize) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(dev, &config) != 0 &&
        libusb_get_config_descriptor(dev, 0, &config) != 0) {
        return false;
    }
    in = out = 0;
    if (config->bNumInterfaces > kInterface && config->interface[kInterface].num_altsetting > 0) {
        const libusb_interface_descriptor& alt = config->interface[kInterface].altsetting[0];
        for (int i = 0; i < alt.bNumEndpoints; ++i) {
            const libusb_endpoint_descriptor& ep = alt.endpoint[i];
            if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
                continue;
            }
            if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
                if (!in) {
                    in = ep.bEndpointAddress;
                    packetSize = std::max<int>(ep.wMaxPacketSize & 0x7FF, 1);
                }
            } else if (!out) {
                out = ep.bEndpointAddress;
            }
        }
    }
    libusb_free_config_descriptor(config);
    return in && out;
}

// A failed transfer as the contract's status; a time-out is no fault (a quiet board).
int32_t transferStatus(int rc) {
    switch (rc) {
        case LIBUSB_SUCCESS:
        case LIBUSB_ERROR_TIMEOUT:
            return UsbLibrary::kUsbOk;
        case LIBUSB_ERROR_NO_DEVICE:
            return UsbLibrary::kUsbNoDevice;
        case LIBUSB_ERROR_PIPE:
            return UsbLibrary::kUsbStall;
        default:
            return UsbLibrary::kUsbIoError;
    }
}

QString nodePath(libusb_device* dev) {
    return QStringLiteral("/dev/bus/usb/%1/%2")
        .arg(libusb_get_bus_number(dev), 3, 10, QLatin1Char('0'))
        .arg(libusb_get_device_address(dev), 3, 10, QLatin1Char('0'));
}

QString openFailure(libusb_device* dev, int rc) {
    const QString node = nodePath(dev);
    switch (rc) {
        case LIBUSB_ERROR_ACCESS:
            return QStringLiteral(
                       "no permission to open the USB board at %1; the udev rule "
                       "/usr/lib/udev/rules.d/70-tarvo-board.rules grants it to the user at the "
                       "seat (reconnect the board after installing it)")
                .arg(node);
        case LIBUSB_ERROR_BUSY:
            return QStringLiteral("the USB board at %1 is in use by another program").arg(node);
        case LIBUSB_ERROR_NO_DEVICE:
            return QStringLiteral("the USB board at %1 was unplugged").arg(node);
        default:
            return QStringLiteral("cannot open the USB board at %1: %2")
                .arg(node, QString::fromUtf8(libusb_strerror(rc)));
    }
}

}  // namespace

std::unique_ptr<LibusbLibrary> LibusbLibrary::create() {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        return nullptr;
    }
    return std::unique_ptr<LibusbLibrary>(new LibusbLibrary(context));
}

LibusbLibrary::~LibusbLibrary() {
    for (auto& [id, dev] : devices_) {
        libusb_release_interface(dev.handle, kInterface);
        libusb_close(dev.handle);
    }
    libusb_exit(context_);
}

LibusbLibrary::Device* LibusbLibrary::find(int32_t handle) {
    auto it = devices_.find(handle);
    return it == devices_.end() ? nullptr : &it->second;
}

int32_t LibusbLibrary::USB_Scan(int32_t vendor, int32_t product) {
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context_, &list);
    if (n < 0) {
        return 0;
    }
    int32_t count = 0;
    for (ssize_t i = 0; i < n; ++i) {
        count += matches(list[i], vendor, product) ? 1 : 0;
    }
    libusb_free_device_list(list, 1);
    return count;
}

int32_t LibusbLibrary::USB_Open(int32_t vendor, int32_t product, int32_t /*reserved*/) {
    lastError_.clear();
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context_, &list);
    if (n < 0) {
        lastError_ = QStringLiteral("cannot list the USB devices: %1")
                         .arg(QString::fromUtf8(libusb_strerror(static_cast<int>(n))));
        return 0;
    }
    int32_t result = 0;
    for (ssize_t i = 0; i < n && result == 0; ++i) {
        if (!matches(list[i], vendor, product)) {
            continue;
        }
        Device dev;
        if (!findBulkEndpoints(list[i], dev.endpointIn, dev.endpointOut, dev.packetSize)) {
            lastError_ = QStringLiteral("the USB board at %1 has no bulk endpoints to talk through")
                             .arg(nodePath(list[i]));
            continue;
        }
        if (const int rc = libusb_open(list[i], &dev.handle); rc != 0) {
            lastError_ = openFailure(list[i], rc);
            continue;
        }
        libusb_set_auto_detach_kernel_driver(dev.handle, 1);
        if (const int rc = libusb_claim_interface(dev.handle, kInterface); rc != 0) {
            lastError_ = openFailure(list[i], rc);
            libusb_close(dev.handle);
            continue;
        }
        result = nextHandle_++;
        devices_.emplace(result, std::move(dev));
        lastError_.clear();
    }
    libusb_free_device_list(list, 1);
    return result;
}

int32_t LibusbLibrary::USB_Write(int32_t handle, const QByteArray& data, int32_t count) {
    Device* dev = find(handle);
    if (!dev || count <= 0) {
        return 0;
    }
    QByteArray bytes = data.left(count);
    int sent = 0;
    const int rc = libusb_bulk_transfer(dev->handle, dev->endpointOut,
                                        reinterpret_cast<unsigned char*>(bytes.data()),
                                        static_cast<int>(bytes.size()), &sent, kWriteTimeoutMs);
    const int32_t status = transferStatus(rc);
    return status == kUsbOk ? sent : status;
}

int32_t LibusbLibrary::USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                                int32_t nextTimeoutMs) {
    Device* dev = find(handle);
    if (!dev) {
        return 0;
    }
    QByteArray data = dev->leftover;
    dev->leftover.clear();
    // Whole packets only, or a device that sends more than asked overflows the transfer.
    const int chunk = ((kMaxReadData + dev->packetSize) / dev->packetSize) * dev->packetSize;
    QByteArray scratch(chunk, '\0');
    int32_t status = kUsbOk;
    while (data.size() < kMaxReadData) {
        int got = 0;
        const int rc = libusb_bulk_transfer(
            dev->handle, dev->endpointIn, reinterpret_cast<unsigned char*>(scratch.data()), chunk,
            &got,
            static_cast<unsigned>(std::max(data.isEmpty() ? firstTimeoutMs : nextTimeoutMs, 1)));
        data.append(scratch.constData(), got);
        status = transferStatus(rc);
        if (rc != 0 || got == 0) {
            break;  // quiet for the time-out, or a fault
        }
    }
    if (data.isEmpty()) {
        return status;
    }
    if (data.size() > kMaxReadData) {
        dev->leftover = data.mid(kMaxReadData);
        data.truncate(kMaxReadData);
    }
    if (buffer.size() < data.size() + 1) {
        buffer.resize(data.size() + 1);
    }
    buffer[0] = static_cast<char>(data.size());
    buffer.replace(1, data.size(), data);
    return status == kUsbOk ? static_cast<int32_t>(data.size()) : status;
}

int32_t LibusbLibrary::USB_Close(int32_t handle) {
    Device* dev = find(handle);
    if (!dev) {
        return 0;
    }
    libusb_release_interface(dev->handle, kInterface);
    libusb_close(dev->handle);
    devices_.erase(handle);
    return 1;
}

int32_t LibusbLibrary::USB_GetVersion() {
    const libusb_version* v = libusb_get_version();
    return static_cast<int32_t>(v->major * 10000 + v->minor * 100 + v->micro);
}

}  // namespace tarvo
