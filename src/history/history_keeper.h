#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "history/history_thread.h"

namespace tarvo {

// Keeps the readings of a program: each one in the local file first, on a thread of its own,
// then sent to the central history from another thread, so that a server that stalls holds
// neither the next local write nor the program. Destroying it (or stop()) ends the sending at
// once; what was not sent stays marked as waiting in the file. Used on one thread.
class HistoryKeeper : public QObject {
  public:
    struct Setup {
        QString path;  // empty: the default file
        MeterHistory::Damaged onDamaged = MeterHistory::Damaged::MoveAside;
        std::function<QDateTime()> clock;
        QString centralUrl;       // "" for none
        int statementMs = 10000;  // each statement's bound on this side
    };
    // What keeping one reading (or clear) here came to.
    struct Kept {
        MeterReading asked;
        std::optional<StoredReading> stored;  // nothing for a clear or when not kept
        bool ok = false;
        QString problem;
    };

    explicit HistoryKeeper(Setup setup, QObject* parent = nullptr);
    ~HistoryKeeper() override;

    // Called on this object's thread.
    std::function<void(const Kept&)> onKept;
    // The central history's comparison of each reading it took.
    std::function<void(const StoredReading&)> onSent;
    // What the user should hear of once: a damaged file moved aside, a server out of reach.
    std::function<void(const QString&)> onNotice;
    // Nothing is being kept or sent any more.
    std::function<void()> onIdle;

    void keep(const MeterReading& reading);
    void recordMemoryClear(const QDateTime& time, const QString& port, std::optional<int> address,
                           const QString& serial);
    // Sends nothing more and ends a send under way; local work still finishes.
    void stop();
    bool idle() const { return jobs_ == 0 && !pushing_; }
    // After the last send: the readings still waiting for the central history, and why.
    int waiting() const { return waiting_; }
    const QString& centralProblem() const { return centralProblem_; }

  private:
    template <typename Work>
    void local(Work work);
    void push();
    void checkIdle();

    Setup setup_;
    std::unique_ptr<HistoryThread> local_;
    std::unique_ptr<HistoryThread> sender_;
    int jobs_ = 0;
    bool pushing_ = false;
    bool pushAgain_ = false;
    bool stopped_ = false;
    int waiting_ = 0;
    QString centralProblem_;
};

}  // namespace tarvo
