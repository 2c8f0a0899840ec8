// The libusb layer against an emulated board: umockdev stands in for the kernel's usbfs, so
// the real libusb runs every transfer. Run under umockdev-wrapper.

#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/libusb_library.h"

namespace tarvo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kFirst = 300;  // shorter than the program's 1000/500 to keep the run quick
constexpr int kNext = 150;

// A board on the emulated bus: the test queues what it answers and when it goes away; the
// handler runs on umockdev's own thread.
class EmulatedBoard {
  public:
    struct Reply {
        Clock::time_point at;
        QByteArray bytes;  // one IN transfer's worth; empty: the endpoint stalls
    };

    EmulatedBoard(UMockdevTestbed* bed, int product, int devnum) : bed_(bed) {
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
        const QString description =
            QStringLiteral(
                "P: %1\nN: %2=%3\nE: DEVNAME=%4\nE: DEVTYPE=usb_device\n"
                "E: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=%5\nA: busnum=1\n"
                "A: devnum=%6\nA: speed=12\nA: bConfigurationValue=1\n"
                "A: idVendor=0f0f\nA: idProduct=%7\nH: descriptors=%3\n")
                .arg(sysfs_.mid(4), node_.mid(5), descriptors, node_)
                .arg(devnum, 3, 10, QLatin1Char('0'))
                .arg(devnum)
                .arg(product, 4, 16, QLatin1Char('0'));
        GError* error = nullptr;
        EXPECT_TRUE(
            umockdev_testbed_add_from_string(bed_, description.toUtf8().constData(), &error))
            << (error ? error->message : "");
        handler_ = umockdev_ioctl_base_new();
        g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedBoard::onIoctl), this);
        EXPECT_TRUE(
            umockdev_testbed_attach_ioctl(bed_, node_.toUtf8().constData(), handler_, &error))
            << (error ? error->message : "");
    }
    ~EmulatedBoard() {
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

    void reply(const QByteArray& bytes, int afterMs = 0) {
        std::lock_guard lock(mutex_);
        replies_.push_back({Clock::now() + milliseconds(afterMs), bytes});
    }
    void unplugAfter(int ms) {
        std::lock_guard lock(mutex_);
        goneAt_ = Clock::now() + milliseconds(ms);
    }
    void refuseClaim() { refuseClaim_ = true; }
    void stallWrites() { stallWrites_ = true; }
    // Holds every OUT transfer unanswered (a board that stopped taking data).
    void holdWrites() { holdWrites_ = true; }
    QByteArray written() {
        std::lock_guard lock(mutex_);
        return written_;
    }
    const QString& node() const { return node_; }

  private:
    struct Urb {
        UMockdevIoctlData* data;  // the client's struct usbdevfs_urb, its buffer resolved
        UMockdevIoctlData* buffer;
    };

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        return static_cast<EmulatedBoard*>(self)->handle(client);
    }

    bool gone() const { return Clock::now() >= goneAt_; }

    static usbdevfs_urb* urbOf(UMockdevIoctlData* d) {
        return reinterpret_cast<usbdevfs_urb*>(d->data);
    }

    void finish(Urb u, int status, const QByteArray& in = {}) {
        usbdevfs_urb* urb = urbOf(u.data);
        const int n = std::min<int>(static_cast<int>(in.size()), urb->buffer_length);
        std::memcpy(u.buffer->data, in.constData(), static_cast<size_t>(n));
        urb->actual_length = (urb->endpoint & 0x80) ? n : (status == 0 ? urb->buffer_length : 0);
        urb->status = status;
        done_.push_back(u.data);
    }

    // Answers IN transfers whose reply is due; called on every reap.
    void progress() {
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

    bool handle(UMockdevIoctlClient* client) {
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
                *reinterpret_cast<uint32_t*>(
                    umockdev_ioctl_data_resolve(arg, 0, 4, nullptr)->data) = 0;
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
                    written_.append(reinterpret_cast<const char*>(buffer->data),
                                    urb->buffer_length);
                    finish(u, 0);
                }
                break;
            }
            case USBDEVFS_DISCARDURB: {
                const gulong address = *reinterpret_cast<const gulong*>(arg->data);
                const auto it =
                    std::find_if(submitted_.begin(), submitted_.end(),
                                 [&](const Urb& u) { return u.data->client_addr == address; });
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

    UMockdevTestbed* bed_;
    QString node_;
    QString sysfs_;
    UMockdevIoctlBase* handler_ = nullptr;
    std::mutex mutex_;
    std::deque<Reply> replies_;
    std::deque<Urb> submitted_;
    std::deque<UMockdevIoctlData*> done_;
    QByteArray written_;
    Clock::time_point goneAt_ = Clock::time_point::max();
    bool refuseClaim_ = false;
    bool stallWrites_ = false;
    bool holdWrites_ = false;
};

class LibusbDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!qgetenv("LD_PRELOAD").contains("umockdev-preload")) {
            GTEST_SKIP() << "needs umockdev-wrapper";
        }
        bed_ = umockdev_testbed_new();
    }
    void TearDown() override {
        usb_.reset();
        boards_.clear();
        if (bed_) {
            g_object_unref(bed_);
        }
    }
    EmulatedBoard& plug(int product) {
        boards_.push_back(
            std::make_unique<EmulatedBoard>(bed_, product, static_cast<int>(boards_.size()) + 2));
        return *boards_.back();
    }
    // libusb lists the bus when it starts: plug the boards first.
    LibusbLibrary& usb() {
        if (!usb_) {
            usb_ = LibusbLibrary::create();
        }
        return *usb_;
    }
    int32_t openBoard(int product = 0x4000) {
        const int32_t handle = usb().USB_Open(UsbLibrary::kVendor, product, 0);
        EXPECT_GT(handle, 0) << usb().lastError().toStdString();
        return handle;
    }

    UMockdevTestbed* bed_ = nullptr;
    std::vector<std::unique_ptr<EmulatedBoard>> boards_;
    std::unique_ptr<LibusbLibrary> usb_;
};

const QByteArray kBlank(UsbLibrary::kReadBufferSize, ' ');

QByteArray pattern(int n) {
    QByteArray bytes;
    for (int i = 0; i < n; ++i) {
        bytes.append(static_cast<char>('A' + i % 26));
    }
    return bytes;
}

// Each product id finds its own board and no other; a write goes to the board opened.
TEST_F(LibusbDevice, EachProductIdFindsAndOpensItsOwnBoard) {
    const int products[] = {0x4000, 0x4002, 0x2000};
    for (int p : products) {
        plug(p);
    }
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(products[i]);
        EXPECT_EQ(usb().USB_Scan(UsbLibrary::kVendor, products[i]), 1);
        const int32_t handle = openBoard(products[i]);
        EXPECT_EQ(usb().USB_Write(handle, QByteArray("\x05\x01", 2) + char('0' + i), 3), 3);
        EXPECT_EQ(boards_[i]->written(), QByteArray("\x05\x01", 2) + char('0' + i));
        EXPECT_EQ(usb().USB_Close(handle), 1);
    }
    EXPECT_EQ(usb().USB_Scan(UsbLibrary::kVendor, 0x4001), 0);
    EXPECT_EQ(usb().USB_Scan(0x0F0E, 0x4000), 0);
    EXPECT_EQ(usb().USB_Open(UsbLibrary::kVendor, 0x4001, 0), 0);
    EXPECT_EQ(usb().lastError().toStdString(), "");
    // A handle never opened (or closed) does nothing and leaves the buffer as it was.
    for (int32_t handle : {0, -1, 99}) {
        QByteArray buffer = kBlank;
        EXPECT_EQ(usb().USB_Read(handle, buffer, kFirst, kNext), 0);
        EXPECT_EQ(buffer, kBlank);
        EXPECT_EQ(usb().USB_Write(handle, "\x05", 1), 0);
        EXPECT_EQ(usb().USB_Close(handle), 0);
    }
}

// A reply is read until the board is quiet: packets arriving within the next time-out join
// it; beyond 255 bytes the rest waits for the next read. The count byte leads the data and
// the buffer past it stays blank. A quiet board is no fault: the read waits its first
// time-out and leaves the buffer blank.
TEST_F(LibusbDevice, ReadsUntilQuietWithTheCountByteFirstAndAQuietBoardTimesOut) {
    struct Case {
        std::vector<std::pair<int, QByteArray>> packets;  // (delay ms, bytes)
        std::vector<QByteArray> reads;
    };
    const QByteArray big = pattern(300);
    const Case cases[] = {
        {{}, {""}},
        {{{0, "ABC"}}, {"ABC", ""}},
        {{{0, pattern(64)}, {50, "xy"}}, {pattern(64) + "xy", ""}},
        {{{0, "first"}, {kNext * 2, "late"}}, {"first", "late"}},
        {{{0, big.left(128)}, {0, big.mid(128, 128)}, {0, big.mid(256)}},
         {big.left(255), big.mid(255), ""}},
    };
    EmulatedBoard& board = plug(0x4000);
    const int32_t handle = openBoard();
    for (const Case& c : cases) {
        int at = 0;
        for (const auto& [delay, bytes] : c.packets) {
            at += delay;
            board.reply(bytes, at);
        }
        for (const QByteArray& expected : c.reads) {
            SCOPED_TRACE(expected.toStdString());
            QByteArray buffer = kBlank;
            QElapsedTimer clock;
            clock.start();
            EXPECT_EQ(usb().USB_Read(handle, buffer, kFirst, kNext), expected.size());
            if (expected.isEmpty()) {
                EXPECT_GE(clock.elapsed(), kFirst - 20);
                EXPECT_LT(clock.elapsed(), kFirst + 1000);
            }
            QByteArray want = kBlank;
            if (!expected.isEmpty()) {
                want[0] = static_cast<char>(expected.size());
                want.replace(1, expected.size(), expected);
            }
            EXPECT_EQ(buffer, want);
        }
    }
}

// Faults during a transfer come back as a negative status, never as a quiet board or a
// completed write; what a read got before the fault is still handed over.
TEST_F(LibusbDevice, FaultsDuringATransferAreReported) {
    enum class Fault { UnplugMidWrite, UnplugMidRead, StallWrite, StallRead };
    const std::pair<Fault, int32_t> cases[] = {{Fault::UnplugMidWrite, UsbLibrary::kUsbNoDevice},
                                               {Fault::UnplugMidRead, UsbLibrary::kUsbNoDevice},
                                               {Fault::StallWrite, UsbLibrary::kUsbStall},
                                               {Fault::StallRead, UsbLibrary::kUsbStall}};
    int product = 0x4000;
    for (const auto& [fault, status] : cases) {
        SCOPED_TRACE(static_cast<int>(fault));
        EmulatedBoard& board = plug(product);
        const int32_t handle = openBoard(product);
        ++product;  // a fresh board each time: an unplugged one stays gone
        QByteArray buffer = kBlank;
        switch (fault) {
            case Fault::UnplugMidWrite:
                board.holdWrites();
                board.unplugAfter(100);
                EXPECT_EQ(usb().USB_Write(handle, "\x05", 1), status);
                EXPECT_EQ(usb().USB_Read(handle, buffer, kFirst, kNext), status);
                EXPECT_EQ(usb().USB_Write(handle, "\x05", 1), status);
                break;
            case Fault::UnplugMidRead:
                board.reply("part");
                board.unplugAfter(kNext / 2);
                EXPECT_EQ(usb().USB_Read(handle, buffer, kFirst, kNext), status);
                EXPECT_EQ(buffer.left(5), "\x04part");
                break;
            case Fault::StallWrite:
                board.stallWrites();
                EXPECT_EQ(usb().USB_Write(handle, "\x05", 1), status);
                break;
            case Fault::StallRead:
                board.reply(QByteArray());
                EXPECT_EQ(usb().USB_Read(handle, buffer, kFirst, kNext), status);
                EXPECT_EQ(buffer, kBlank);
                break;
        }
        usb().USB_Close(handle);
    }
}

// A board found but not opened gives no handle and a reason that names the device (and,
// for a missing permission, the rule that grants it).
TEST_F(LibusbDevice, AFailedOpenSaysWhy) {
    EmulatedBoard& busy = plug(0x4000);
    busy.refuseClaim();
    EmulatedBoard& locked = plug(0x2000);
    // Root opens any node: the permission is checked as another user would meet it.
    const QByteArray dir = qgetenv("UMOCKDEV_DIR");
    QDirIterator all(QString::fromLocal8Bit(dir),
                     QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
    while (all.hasNext()) {
        ::chmod(QFile::encodeName(all.next()).constData(), 0777);
    }
    ASSERT_EQ(::chmod(dir.constData(), 0777), 0);
    ASSERT_EQ(::chmod((dir + locked.node().toUtf8()).constData(), 0600), 0);
    const std::pair<int, std::string> cases[] = {
        {0x4000, "the USB board at " + busy.node().toStdString() + " is in use by another program"},
        {0x2000, "no permission to open the USB board at " + locked.node().toStdString() +
                     "; the udev rule /usr/lib/udev/rules.d/70-tarvo-board.rules grants it to "
                     "the user at the seat (reconnect the board after installing it)"}};
    for (const auto& [product, reason] : cases) {
        EXPECT_EQ(usb().USB_Scan(UsbLibrary::kVendor, product), 1);
        const bool asUser = product == 0x2000 && ::getuid() == 0;
        if (asUser) {
            ASSERT_EQ(::seteuid(65534), 0);
        }
        EXPECT_EQ(usb().USB_Open(UsbLibrary::kVendor, product, 0), 0);
        if (asUser) {
            ASSERT_EQ(::seteuid(0), 0);
        }
        EXPECT_EQ(usb().lastError().toStdString(), reason);
    }
}

}  // namespace
}  // namespace tarvo
