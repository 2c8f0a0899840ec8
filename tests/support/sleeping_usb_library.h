#pragma once

#include <QByteArray>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

#include "platform/usb_library.h"

namespace tarvo::test {

// A USB board that takes as long as a real one: a quiet read waits its first time-out, a
// reply comes 255 bytes per read at about a packet per millisecond, and the read that ends a
// reply waits the next time-out for quiet. Safe to call from another thread.
class SleepingUsbLibrary : public UsbLibrary {
  public:
    void reply(const QByteArray& bytes) {
        std::lock_guard lock(mutex_);
        pending_.append(bytes);
    }
    // The status the next write and read return instead of doing their work (0: none).
    std::atomic<int32_t> fault{kUsbOk};
    std::atomic<Qt::HANDLE> lastThread{nullptr};
    QString openError;

    int32_t USB_Scan(int32_t, int32_t) override { return 1; }
    int32_t USB_Open(int32_t, int32_t, int32_t) override {
        lastThread = QThread::currentThreadId();
        return openError.isEmpty() ? 1 : 0;
    }
    QString lastError() const override { return openError; }
    int32_t USB_Write(int32_t, const QByteArray&, int32_t count) override {
        lastThread = QThread::currentThreadId();
        QThread::msleep(1);
        return fault != kUsbOk ? fault.load() : count;
    }
    int32_t USB_Read(int32_t, QByteArray& buffer, int32_t firstTimeoutMs,
                     int32_t nextTimeoutMs) override {
        lastThread = QThread::currentThreadId();
        if (fault != kUsbOk) {
            return fault;
        }
        QByteArray data;
        bool last = false;
        {
            std::lock_guard lock(mutex_);
            data = pending_.left(255);
            pending_.remove(0, data.size());
            last = pending_.isEmpty();
        }
        if (data.isEmpty()) {
            QThread::msleep(static_cast<unsigned long>(firstTimeoutMs));
            return 0;
        }
        QThread::msleep(static_cast<unsigned long>((data.size() + 63) / 64));
        if (last) {
            QThread::msleep(static_cast<unsigned long>(nextTimeoutMs));
        }
        buffer[0] = static_cast<char>(data.size());
        buffer.replace(1, data.size(), data);
        return static_cast<int32_t>(data.size());
    }
    int32_t USB_Close(int32_t) override { return 1; }
    int32_t USB_GetVersion() override { return 10026; }

  private:
    std::mutex mutex_;
    QByteArray pending_;
};

}  // namespace tarvo::test
