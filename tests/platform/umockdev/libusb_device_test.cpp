// The libusb layer against an emulated board: umockdev stands in for the kernel's usbfs, so
// the real libusb runs every transfer. Run under umockdev-wrapper.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include "platform/libusb_library.h"
#include "usbfs/usbfs_board.h"

namespace tarvo {
namespace {

constexpr int kFirst = 300;  // shorter than the program's 1000/500 to keep the run quick
constexpr int kNext = 150;

class LibusbDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!qgetenv("LD_PRELOAD").contains("umockdev-preload")) {
            GTEST_SKIP() << "needs umockdev-wrapper";
        }
        bus_ = std::make_unique<sim::UsbfsBus>();
    }
    sim::UsbfsBoard& plug(int product) {
        sim::UsbfsBoard& board = bus_->plug(product);
        EXPECT_EQ(board.error(), "");
        return board;
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

    std::unique_ptr<sim::UsbfsBus> bus_;
    std::unique_ptr<LibusbLibrary> usb_;  // goes before the bus it uses
};

const QByteArray kBlank(UsbLibrary::kReadBufferSize, ' ');

// Each product id finds its own board and no other; a write goes to the board opened.
TEST_F(LibusbDevice, EachProductIdFindsAndOpensItsOwnBoard) {
    const int products[] = {0x4000, 0x4002, 0x2000};
    std::vector<sim::UsbfsBoard*> boards;
    for (int p : products) {
        boards.push_back(&plug(p));
    }
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(products[i]);
        EXPECT_EQ(usb().USB_Scan(UsbLibrary::kVendor, products[i]), 1);
        const int32_t handle = openBoard(products[i]);
        EXPECT_EQ(usb().USB_Write(handle, QByteArray("\x05\x01", 2) + char('0' + i), 3), 3);
        EXPECT_EQ(boards[i]->written(), QByteArray("\x05\x01", 2) + char('0' + i));
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
    const QByteArray big = QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ").repeated(12).left(300);
    const Case cases[] = {
        {{}, {""}},
        {{{0, "ABC"}}, {"ABC", ""}},
        {{{0, big.left(64)}, {50, "xy"}}, {big.left(64) + "xy", ""}},
        {{{0, "first"}, {kNext * 2, "late"}}, {"first", "late"}},
        {{{0, big.left(128)}, {0, big.mid(128, 128)}, {0, big.mid(256)}},
         {big.left(255), big.mid(255), ""}},
    };
    sim::UsbfsBoard& board = plug(0x4000);
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
                // It waits its time-out, and ends: the bound is for a read that never would.
                EXPECT_GE(clock.elapsed(), kFirst - 20);
                EXPECT_LT(clock.elapsed(), kFirst + 10000);
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
        sim::UsbfsBoard& board = plug(product);
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
    sim::UsbfsBoard& busy = plug(0x4000);
    busy.refuseClaim();
    sim::UsbfsBoard& locked = plug(0x2000);
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
