#include "platform/usb_worker.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "support/sleeping_usb_library.h"

namespace tarvo::test {
namespace {

QByteArray filled(const QByteArray& data) {
    QByteArray buffer(UsbLibrary::kReadBufferSize, ' ');
    buffer[0] = static_cast<char>(data.size());
    buffer.replace(1, data.size(), data);
    return buffer;
}

// What the library returns comes back unchanged, and the library is only ever called from the
// worker's thread.
TEST(UsbWorker, PassesResultsFromItsOwnThread) {
    auto usb = std::make_shared<SleepingUsbLibrary>();
    UsbWorker worker(usb);
    EXPECT_EQ(worker.scan(UsbLibrary::kVendor, 0x4000), 1);
    EXPECT_EQ(worker.open(UsbLibrary::kVendor, 0x4000), 1);
    EXPECT_NE(usb->lastThread.load(), QThread::currentThreadId());
    EXPECT_EQ(worker.write(1, "\x05\x01\x02", 3), 3);
    usb->reply("ABC");
    const UsbReadResult got = worker.read(1, 20, 10);
    EXPECT_EQ(got.status, 3);
    EXPECT_EQ(got.buffer, filled("ABC"));
    EXPECT_EQ(worker.read(1, 20, 10).buffer, QByteArray(UsbLibrary::kReadBufferSize, ' '));
    usb->openError = "in use";
    EXPECT_EQ(worker.open(UsbLibrary::kVendor, 0x4000), 0);
    EXPECT_EQ(worker.lastError(), "in use");
}

// The caller's event loop keeps turning while a quiet read waits out its time-out.
TEST(UsbWorker, TheEventLoopRunsDuringATransfer) {
    auto usb = std::make_shared<SleepingUsbLibrary>();
    UsbWorker worker(usb);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(worker.read(1, 300, 100).status, UsbLibrary::kUsbOk);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_GE(ticks, 10);
}

// Once the caller stops waiting, the call returns at once with the closing status; the
// transfer ends on the worker, which the worker's end waits for.
TEST(UsbWorker, StoppingEndsTheWaitNotTheTransfer) {
    auto usb = std::make_shared<SleepingUsbLibrary>();
    usb->hold();  // the transfer lasts until released, however slow the machine
    {
        UsbWorker worker(usb);
        std::atomic<bool> started{false};
        usb->heldReadStarted = [&] {
            started = true;
            QMetaObject::invokeMethod(
                &worker, [] {}, Qt::QueuedConnection);  // a look again
        };
        worker.setStopCondition([&] { return started.load(); });
        const UsbReadResult got = worker.read(1, 600, 100);
        EXPECT_EQ(usb->readsFinished, 0);
        EXPECT_EQ(got.status, UsbLibrary::kUsbClosing);
        EXPECT_EQ(got.buffer, QByteArray(UsbLibrary::kReadBufferSize, ' '));
        EXPECT_EQ(worker.write(1, "\x05", 1), UsbLibrary::kUsbClosing);
        usb->release();
    }
    EXPECT_EQ(usb->readsFinished, 1);
}

}  // namespace
}  // namespace tarvo::test
