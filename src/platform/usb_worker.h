#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>
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

// Runs the USB calls on a thread of their own, one after the other in the order asked, so a
// read that waits a second for a quiet board never holds the window. Each call returns when
// the transfer is done; the caller's event loop runs meanwhile (wait::until).
class UsbWorker : public QObject {
    Q_OBJECT
  public:
    explicit UsbWorker(std::shared_ptr<UsbLibrary> usb, QObject* parent = nullptr);
    // Waits for the transfer in progress: the library must not be left mid-call.
    ~UsbWorker() override;
    UsbWorker(const UsbWorker&) = delete;
    UsbWorker& operator=(const UsbWorker&) = delete;

    // Checked while waiting; once true, the calls return kUsbClosing (or 0) at once and the
    // transfer finishes on the worker unseen. The application closing down always counts.
    void setStopCondition(std::function<bool()> stop) { stop_ = std::move(stop); }

    int32_t scan(int32_t vendor, int32_t product);
    // 0 when nothing could be opened; lastError() then says why.
    int32_t open(int32_t vendor, int32_t product);
    QString lastError() const { return lastError_; }
    int32_t write(int32_t handle, const QByteArray& data, int32_t count);
    UsbReadResult read(int32_t handle, int32_t firstTimeoutMs, int32_t nextTimeoutMs);
    int32_t close(int32_t handle);

  private:
    // Runs `job` on the worker and waits for it in the event loop; false when stopped first.
    bool run(std::function<void()> job);

    std::shared_ptr<UsbLibrary> usb_;
    QThread thread_;
    QObject* context_;  // lives on thread_; jobs are queued to it
    std::function<bool()> stop_;
    QString lastError_;
};

}  // namespace tarvo
