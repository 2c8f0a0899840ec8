// umockdev's header first: Qt's keyword macros would break glib's.
#include <umockdev.h>

#include "usbfs/usbfs_board.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvo::sim {

namespace {
usbdevfs_urb* urbOf(UMockdevIoctlData* d) {
    return reinterpret_cast<usbdevfs_urb*>(d->data);
}
}  // namespace

struct IoctlHandler {
    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        return static_cast<UsbfsBoard*>(self)->handle(client);
    }
};

UsbfsBoard::UsbfsBoard(UMockdevTestbed* bed, int product, int devnum) : bed_(bed) {
    const QString hexProduct = QString::asprintf("%02X %02X", product & 0xFF, product >> 8);
    // Device descriptor, then configuration, interface 0 and its bulk OUT 0x01 and IN 0x81.
    const QString descriptors = QStringLiteral(
                                    "12 01 00 02 00 00 00 40 0F 0F %1 00 01 00 00 00 01 "
                                    "09 02 20 00 01 01 00 80 32 09 04 00 00 02 FF 00 00 00 "
                                    "07 05 01 02 40 00 00 07 05 81 02 40 00 00")
                                    .arg(hexProduct)
                                    .remove(QLatin1Char(' '));
    node_ = QStringLiteral("/dev/bus/usb/001/%1").arg(devnum, 3, 10, QLatin1Char('0'));
    sysfs_ = QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-%1").arg(devnum);
    const QString description = QStringLiteral(
                                    "P: %1\nN: %2=%3\nE: DEVNAME=%4\nE: DEVTYPE=usb_device\n"
                                    "E: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=%5\nA: busnum=1\n"
                                    "A: devnum=%6\nA: speed=12\nA: bConfigurationValue=1\n"
                                    "A: idVendor=0f0f\nA: idProduct=%7\nH: descriptors=%3\n")
                                    .arg(sysfs_.mid(4), node_.mid(5), descriptors, node_)
                                    .arg(devnum, 3, 10, QLatin1Char('0'))
                                    .arg(devnum)
                                    .arg(product, 4, 16, QLatin1Char('0'));
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, description.toUtf8().constData(), &error)) {
        error_ = QString::fromUtf8(error ? error->message : "cannot add the device");
        g_clear_error(&error);
    }
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&IoctlHandler::onIoctl), this);
    if (!umockdev_testbed_attach_ioctl(bed_, node_.toUtf8().constData(), handler_, &error)) {
        error_ = QString::fromUtf8(error ? error->message : "cannot attach the handler");
        g_clear_error(&error);
    }
}

UsbfsBoard::~UsbfsBoard() {
    umockdev_testbed_detach_ioctl(bed_, node_.toUtf8().constData(), nullptr);
    g_object_unref(handler_);
    std::lock_guard lock(mutex_);
    for (auto& u : submitted_) {
        g_object_unref(u.data);
    }
    for (auto* d : done_) {
        g_object_unref(d);
    }
}

void UsbfsBoard::reply(const QByteArray& bytes, int afterMs) {
    std::lock_guard lock(mutex_);
    replies_.push_back({Clock::now() + std::chrono::milliseconds(afterMs), bytes});
}

void UsbfsBoard::unplugAfter(int ms) {
    std::lock_guard lock(mutex_);
    goneAt_ = Clock::now() + std::chrono::milliseconds(ms);
}

QByteArray UsbfsBoard::written() {
    std::lock_guard lock(mutex_);
    return written_;
}

void UsbfsBoard::finish(Urb u, int status, const QByteArray& in) {
    usbdevfs_urb* urb = urbOf(u.data);
    const int n = std::min<int>(static_cast<int>(in.size()), urb->buffer_length);
    std::memcpy(u.buffer->data, in.constData(), static_cast<size_t>(n));
    urb->actual_length = (urb->endpoint & 0x80) ? n : (status == 0 ? urb->buffer_length : 0);
    urb->status = status;
    done_.push_back(u.data);
}

// Answers IN transfers whose reply is due; called on every reap.
void UsbfsBoard::progress() {
    for (auto it = submitted_.begin(); it != submitted_.end();) {
        const bool in = urbOf(it->data)->endpoint & 0x80;
        if (in && !replies_.empty() && replies_.front().at <= Clock::now()) {
            const QByteArray bytes = replies_.front().bytes;
            replies_.pop_front();
            finish(*it, bytes.isEmpty() ? -EPIPE : 0, bytes);
            it = submitted_.erase(it);
        } else {
            ++it;
        }
    }
}

bool UsbfsBoard::handle(UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    if (gone()) {
        // As the kernel does on unplug: transfers in flight end with ESHUTDOWN and can
        // still be reaped; everything else fails with ENODEV.
        for (const Urb& u : submitted_) {
            finish(u, -ESHUTDOWN);
        }
        submitted_.clear();
        const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
        if (!reap || done_.empty()) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
    }
    int result = 0, error = 0;  // what the ioctl returns, and its errno
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES:
            *reinterpret_cast<uint32_t*>(umockdev_ioctl_data_resolve(arg, 0, 4, nullptr)->data) = 0;
            break;
        case USBDEVFS_GETDRIVER:
            result = -1, error = ENODATA;
            break;
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:
            if (refuseClaim_) {
                result = -1, error = EBUSY;
            }
            break;
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData* data =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            usbdevfs_urb* urb = urbOf(data);
            UMockdevIoctlData* buffer =
                umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                            static_cast<gsize>(urb->buffer_length), nullptr);
            g_object_ref(data);
            const Urb u{data, buffer};
            if (stallWrites_ && !(urb->endpoint & 0x80)) {
                finish(u, -EPIPE);
            } else if (holdWrites_ || (urb->endpoint & 0x80)) {
                submitted_.push_back(u);
            } else {
                written_.append(reinterpret_cast<const char*>(buffer->data), urb->buffer_length);
                finish(u, 0);
            }
            break;
        }
        case USBDEVFS_DISCARDURB: {
            const gulong address = *reinterpret_cast<const gulong*>(arg->data);
            const auto it = std::find_if(submitted_.begin(), submitted_.end(), [&](const Urb& u) {
                return u.data->client_addr == address;
            });
            if (it == submitted_.end()) {
                result = -1, error = EINVAL;
            } else {
                finish(*it, -ENOENT);
                submitted_.erase(it);
            }
            break;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            progress();
            if (done_.empty()) {
                result = -1, error = EAGAIN;
            } else {
                // The argument points at the caller's urb pointer, which is set to the urb.
                UMockdevIoctlData* urb = done_.front();
                done_.pop_front();
                umockdev_ioctl_data_set_ptr(
                    umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr), 0, urb);
                g_object_unref(urb);
            }
            break;
    }
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

UsbfsBus::UsbfsBus() : bed_(umockdev_testbed_new()) {}

UsbfsBus::~UsbfsBus() {
    boards_.clear();
    g_object_unref(bed_);
}

UsbfsBoard& UsbfsBus::plug(int product) {
    // Device numbers from 2: the root hub is 1.
    boards_.push_back(
        std::make_unique<UsbfsBoard>(bed_, product, static_cast<int>(boards_.size()) + 2));
    return *boards_.back();
}

}  // namespace tarvo::sim
