#include <gtest/gtest.h>

#include "platform/libusb_library.h"

namespace tarvo {
namespace {

// No board is plugged into the test machine: the calls must fail quietly, whatever the handle,
// and leave the caller's buffer as it was.
TEST(LibusbLibrary, WithoutABoardEveryCallFailsQuietly) {
    auto usb = LibusbLibrary::create();
    if (!usb) {
        GTEST_SKIP() << "libusb cannot start here";
    }
    for (int32_t product : {0x4000, 0x4002, 0x2000}) {
        EXPECT_EQ(usb->USB_Scan(UsbLibrary::kVendor, product), 0);
        EXPECT_EQ(usb->USB_Open(UsbLibrary::kVendor, product, 0), 0);
    }
    const QByteArray blank(UsbLibrary::kReadBufferSize, ' ');
    for (int32_t handle : {0, 1, -1}) {
        QByteArray buffer = blank;
        EXPECT_EQ(usb->USB_Read(handle, buffer, 1000, 500), 0);
        EXPECT_EQ(buffer, blank);
        EXPECT_EQ(usb->USB_Write(handle, "\x05", 1), 0);
        EXPECT_EQ(usb->USB_Close(handle), 0);
    }
}

}  // namespace
}  // namespace tarvo
