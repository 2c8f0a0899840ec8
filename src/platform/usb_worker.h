#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/usb_library.h"

namespace tarvo {

struct UsbReadResult {
    // As UsbLibrary::USB_Read returns it, or UsbLibrary::kUsbClosing.
    int32_t status = UsbLibrary::kUsbOk;
    // kReadBufferSize blanks, filled as USB_Read fills it.
    QByteArray buffer;
};

// Runs the USB calls on a thread of their own, one after the other in the order posted, so a
// read that waits a second for a quiet board never holds the window. Nothing here waits: the
// caller suspends until `done` is set and `finished` arrives on its own thread.
class UsbWorker : public QObject {
    Q_OBJECT
  public:
    explicit UsbWorker(std::shared_ptr<UsbLibrary> usb, QObject* parent = nullptr);
    // Waits for the transfer in progress: the library must not be left mid-call.
    ~UsbWorker() override;
    UsbWorker(const UsbWorker&) = delete;
    UsbWorker& operator=(const UsbWorker&) = delete;

    using Done = std::shared_ptr<std::atomic<bool>>;
    // Queues `job`, which gets the library; the returned flag is set once it has run, and
    // `finished` follows on this object's thread. A job outlives a caller that stopped
    // waiting for it, so it must hold what it writes to by shared pointer.
    Done post(std::function<void(UsbLibrary&)> job);

  signals:
    void finished();

  private:
    std::shared_ptr<UsbLibrary> usb_;
    QThread thread_;
    QObject* context_;  // lives on thread_; jobs are queued to it
};

}  // namespace tarvo
