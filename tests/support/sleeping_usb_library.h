#pragma once

#include <QByteArray>
#include <QThread>
#include <atomic>
#include <mutex>
#include <utility>

#include "platform/usb_library.h"

namespace tarvo::test {

// A USB board that takes as long as a real one: a quiet read waits its first time-out.
// Safe to call from another thread.
class SleepingUsbLibrary : public UsbLibrary {
  public:
    void reply(const QByteArray& bytes) {
        std::lock_guard lock(mutex_);
        pending_ = bytes;
    }
    std::atomic<Qt::HANDLE> lastThread{nullptr};

    int32_t USB_Scan(int32_t, int32_t) override { return 1; }
    int32_t USB_Open(int32_t, int32_t, int32_t) override {
        lastThread = QThread::currentThreadId();
        return 1;
    }
    QString lastError() const override { return {}; }
    int32_t USB_Write(int32_t, const QByteArray&, int32_t count) override {
        lastThread = QThread::currentThreadId();
        return count;
    }
    int32_t USB_Read(int32_t, QByteArray& buffer, int32_t firstTimeoutMs, int32_t) override {
        lastThread = QThread::currentThreadId();
        QByteArray data;
        {
            std::lock_guard lock(mutex_);
            data = std::exchange(pending_, {});
        }
        if (data.isEmpty()) {
            QThread::msleep(static_cast<unsigned long>(firstTimeoutMs));
            return 0;
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
