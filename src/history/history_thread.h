#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>

#include "history/meter_history.h"
#include "history/pg_link.h"

namespace tarvo {

// One MeterHistory used on a thread of its own, so that a slow disk or network never holds
// the window. Work runs there in the order it was posted; each answer comes back on the
// thread of `context`, unless `context` is gone by then. Destroying it ends every wait for a
// server at once (the history is made with the thread's Interrupt) and then waits only for
// the local work under way.
class HistoryThread {
  public:
    using Make = std::function<std::unique_ptr<MeterHistory>(std::shared_ptr<Interrupt>)>;
    explicit HistoryThread(Make make) : make_(std::move(make)) {
        worker_->moveToThread(&thread_);
        thread_.start();
    }
    ~HistoryThread() {
        interrupt_->trigger();
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
        QMetaObject::invokeMethod(
            worker_.get(), [this, context = QPointer<QObject>(context), work = std::move(work),
                            done = std::move(done)]() mutable {
                if (!history_) {
                    history_ = make_(interrupt_);
                }
                auto result = work(*history_);
                if (context) {
                    QMetaObject::invokeMethod(
                        context, [done = std::move(done), result = std::move(result)]() mutable {
                            done(std::move(result));
                        });
                }
            });
    }

  private:
    Make make_;
    std::shared_ptr<Interrupt> interrupt_ = std::make_shared<Interrupt>();
    QThread thread_;
    std::unique_ptr<QObject> worker_ = std::make_unique<QObject>();
    std::unique_ptr<MeterHistory> history_;  // used on thread_ only
};

}  // namespace tarvo
