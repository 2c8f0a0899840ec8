#include "platform/usb_worker.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include "support/sleeping_usb_library.h"

namespace tarvo::test {
namespace {

// A job runs on the worker's thread, never the caller's; its end is flagged and signalled on
// the caller's thread, and the caller's event loop keeps turning meanwhile.
TEST(UsbWorker, RunsJobsOnItsOwnThreadAndSignalsTheirEnd) {
    auto usb = std::make_shared<SleepingUsbLibrary>();
    UsbWorker worker(usb);
    QSignalSpy finished(&worker, &UsbWorker::finished);
    auto status = std::make_shared<int32_t>(0);
    const UsbWorker::Done done = worker.post([status](UsbLibrary& lib) {
        QByteArray buffer(UsbLibrary::kReadBufferSize, ' ');
        *status = lib.USB_Read(1, buffer, 300, 100);
    });
    EXPECT_FALSE(done->load());
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(done->load());
    EXPECT_EQ(*status, UsbLibrary::kUsbOk);
    EXPECT_NE(usb->lastThread.load(), QThread::currentThreadId());
}

// The worker's end waits for the transfer in progress: the library is never left mid-call.
TEST(UsbWorker, ItsEndWaitsForTheTransferUnderWay) {
    auto usb = std::make_shared<SleepingUsbLibrary>();
    UsbWorker::Done done;
    {
        UsbWorker worker(usb);
        done = worker.post([](UsbLibrary& lib) {
            QByteArray buffer(UsbLibrary::kReadBufferSize, ' ');
            lib.USB_Read(1, buffer, 300, 100);
        });
        // Ends while the read waits out its time-out.
        QElapsedTimer started;
        started.start();
        while (usb->lastThread.load() == nullptr && started.elapsed() < 5000) {
            QThread::yieldCurrentThread();
        }
    }
    EXPECT_TRUE(done->load());
}

}  // namespace
}  // namespace tarvo::test
