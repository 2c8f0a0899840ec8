#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

#include "history/meter_history.h"

namespace tarvo {

// One MeterHistory used on a thread of its own, so that a slow disk or network never holds
// the window. Work runs there in the order it was posted; each answer comes back on the
// thread of `context`. The owner of a HistoryThread must outlive it (a member of `context`
// does): the destructor waits for the work under way.
class HistoryThread {
  public:
    explicit HistoryThread(std::function<std::unique_ptr<MeterHistory>()> make)
        : make_(std::move(make)) {
        worker_->moveToThread(&thread_);
        thread_.start();
    }
    ~HistoryThread() {
        // The history's connections belong to its thread: closed there.
        QMetaObject::invokeMethod(
            worker_.get(), [this] { history_.reset(); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    HistoryThread(const HistoryThread&) = delete;
    HistoryThread& operator=(const HistoryThread&) = delete;

    // Runs `work(MeterHistory&)` there, then `done(result)` on `context`'s thread.
    template <typename Work, typename Done>
    void post(QObject* context, Work work, Done done) {
        QMetaObject::invokeMethod(worker_.get(), [this, context, work = std::move(work),
                                                  done = std::move(done)]() mutable {
            if (!history_) {
                history_ = make_();
            }
            auto result = work(*history_);
            QMetaObject::invokeMethod(
                context, [done = std::move(done), result = std::move(result)]() mutable {
                    done(std::move(result));
                });
        });
    }

  private:
    std::function<std::unique_ptr<MeterHistory>()> make_;
    QThread thread_;
    std::unique_ptr<QObject> worker_ = std::make_unique<QObject>();
    std::unique_ptr<MeterHistory> history_;  // used on thread_ only
};

}  // namespace tarvo
