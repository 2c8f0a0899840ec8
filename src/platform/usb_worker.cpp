#include "platform/usb_worker.h"

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

UsbWorker::Done UsbWorker::post(std::function<void(UsbLibrary&)> job) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    // Alive while a job runs: the destructor waits for the thread; an event queued to it
    // after that is dropped with it.
    UsbWorker* self = this;
    QMetaObject::invokeMethod(
        context_,
        [job = std::move(job), usb = usb_, done, self] {
            job(*usb);
            done->store(true);
            QMetaObject::invokeMethod(
                self, [self] { emit self->finished(); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return done;
}

}  // namespace tarvo
