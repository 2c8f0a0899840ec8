#pragma once

#include <QByteArray>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
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
    // While held, a quiet read lasts until release() instead of its time-out; it calls
    // heldReadStarted (on the worker's thread) when it starts.
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        released_.notify_all();
    }
    std::function<void()> heldReadStarted;
    std::atomic<int> readsFinished{0};
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
        return count;
    }
    int32_t USB_Read(int32_t, QByteArray& buffer, int32_t firstTimeoutMs, int32_t) override {
        lastThread = QThread::currentThreadId();
        std::unique_lock lock(mutex_);
        const QByteArray data = std::exchange(pending_, {});
        if (data.isEmpty() && held_) {
            if (heldReadStarted) {
                heldReadStarted();
            }
            released_.wait(lock, [this] { return !held_; });
        } else if (data.isEmpty()) {
            lock.unlock();
            QThread::msleep(static_cast<unsigned long>(firstTimeoutMs));
        }
        ++readsFinished;
        if (!data.isEmpty()) {
            buffer[0] = static_cast<char>(data.size());
            buffer.replace(1, data.size(), data);
        }
        return static_cast<int32_t>(data.size());
    }
    int32_t USB_Close(int32_t) override { return 1; }
    int32_t USB_GetVersion() override { return 10026; }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    QByteArray pending_;
};

}  // namespace tarvo::test
