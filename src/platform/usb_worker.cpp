#include "platform/usb_worker.h"

#include <QCoreApplication>
#include <atomic>

#include "platform/wait.h"

namespace tarvo {

UsbWorker::UsbWorker(std::shared_ptr<UsbLibrary> usb, QObject* parent)
    : QObject(parent), usb_(std::move(usb)), context_(new QObject) {
    thread_.setObjectName(QStringLiteral("usb"));
    context_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

UsbWorker::~UsbWorker() {
    thread_.quit();
    thread_.wait();
}

bool UsbWorker::run(std::function<void()> job) {
    // Shared with the worker: a caller that stopped waiting may be gone when the job ends.
    auto done = std::make_shared<std::atomic<bool>>(false);
    QObject* waker = this;
    QMetaObject::invokeMethod(
        context_,
        [job = std::move(job), done, waker] {
            job();
            done->store(true);
            // An empty event wakes the caller's event loop so it looks at `done` again.
            QMetaObject::invokeMethod(
                waker, [] {}, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    const bool finished = wait::until([&] { return done->load() || (stop_ && stop_()); });
    return finished && done->load();
}

int32_t UsbWorker::scan(int32_t vendor, int32_t product) {
    auto count = std::make_shared<int32_t>(0);
    return run([usb = usb_, count, vendor, product] { *count = usb->USB_Scan(vendor, product); })
               ? *count
               : 0;
}

int32_t UsbWorker::open(int32_t vendor, int32_t product) {
    struct Result {
        int32_t handle = 0;
        QString error;
    };
    auto result = std::make_shared<Result>();
    if (!run([usb = usb_, result, vendor, product] {
            result->handle = usb->USB_Open(vendor, product, 0);
            result->error = result->handle == 0 ? usb->lastError() : QString();
        })) {
        // The handle may still arrive; it is closed on the worker so nothing stays claimed.
        QMetaObject::invokeMethod(context_, [usb = usb_, result] {
            if (result->handle != 0) {
                usb->USB_Close(result->handle);
            }
        });
        lastError_ = UsbLibrary::statusText(UsbLibrary::kUsbClosing);
        return 0;
    }
    lastError_ = result->error;
    return result->handle;
}

int32_t UsbWorker::write(int32_t handle, const QByteArray& data, int32_t count) {
    auto status = std::make_shared<int32_t>(UsbLibrary::kUsbOk);
    if (!run([usb = usb_, status, handle, data, count] {
            *status = usb->USB_Write(handle, data, count);
        })) {
        return UsbLibrary::kUsbClosing;
    }
    return *status;
}

UsbReadResult UsbWorker::read(int32_t handle, int32_t firstTimeoutMs, int32_t nextTimeoutMs) {
    auto result = std::make_shared<UsbReadResult>();
    result->buffer = QByteArray(UsbLibrary::kReadBufferSize, ' ');
    if (!run([usb = usb_, result, handle, firstTimeoutMs, nextTimeoutMs] {
            result->status = usb->USB_Read(handle, result->buffer, firstTimeoutMs, nextTimeoutMs);
        })) {
        return {UsbLibrary::kUsbClosing, QByteArray(UsbLibrary::kReadBufferSize, ' ')};
    }
    return *result;
}

int32_t UsbWorker::close(int32_t handle) {
    auto status = std::make_shared<int32_t>(0);
    // When the wait is given up the close still runs on the worker, before it ends.
    return run([usb = usb_, status, handle] { *status = usb->USB_Close(handle); }) ? *status : 0;
}

}  // namespace tarvo
