#include "history/history_keeper.h"

namespace tarvo {

namespace {

struct Sent {
    std::vector<StoredReading> readings;
    int waiting = 0;
    QString problem;
    QStringList notices;
};

}  // namespace

HistoryKeeper::HistoryKeeper(Setup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)) {
    local_ = std::make_unique<HistoryThread>([s = setup_](std::shared_ptr<Interrupt>) {
        return std::make_unique<MeterHistory>(s.path, s.onDamaged, s.clock);
    });
    if (!setup_.centralUrl.trimmed().isEmpty()) {
        sender_ = std::make_unique<HistoryThread>([s = setup_](std::shared_ptr<Interrupt> stop) {
            auto h = std::make_unique<MeterHistory>(s.path, MeterHistory::Damaged::Refuse, s.clock);
            h->setCentral(s.centralUrl, std::move(stop), s.statementMs);
            return h;
        });
    }
}

HistoryKeeper::~HistoryKeeper() {
    sender_.reset();  // first: its server may be the one that stalls
    local_.reset();
}

template <typename Work>
void HistoryKeeper::local(Work work) {
    ++jobs_;
    local_->post(
        this,
        [work = std::move(work)](MeterHistory& h) {
            auto kept = work(h);
            kept.problem = h.problem();
            return std::make_pair(kept, h.takeNotices());
        },
        [this](std::pair<Kept, QStringList> answer) {
            --jobs_;
            for (const QString& notice : answer.second) {
                if (onNotice) {
                    onNotice(notice);
                }
            }
            if (onKept) {
                onKept(answer.first);
            }
            if (answer.first.ok) {
                push();
            }
            checkIdle();
        });
}

void HistoryKeeper::keep(const MeterReading& reading) {
    local([reading](MeterHistory& h) {
        Kept k;
        k.asked = reading;
        k.stored = h.store(reading);
        k.ok = k.stored.has_value();
        return k;
    });
}

void HistoryKeeper::recordMemoryClear(const QDateTime& time, const QString& port,
                                      std::optional<int> address, const QString& serial) {
    local([=](MeterHistory& h) {
        Kept k;
        k.ok = h.recordMemoryClear(time, port, address, serial);
        return k;
    });
}

void HistoryKeeper::push() {
    if (!sender_) {
        return;
    }
    if (pushing_) {
        pushAgain_ = true;  // what was kept meanwhile goes with the next round
        return;
    }
    pushing_ = true;
    sender_->post(
        this,
        [](MeterHistory& h) {
            Sent s;
            if (!h.pushPending(&s.readings)) {
                s.problem = h.centralProblem().isEmpty() ? h.problem() : h.centralProblem();
            }
            s.waiting = h.pendingCount().value_or(0);
            s.notices = h.takeNotices();
            return s;
        },
        [this](Sent s) {
            if (!sender_) {
                return;  // stopped meanwhile
            }
            pushing_ = false;
            waiting_ = s.waiting;
            centralProblem_ = s.problem;
            for (const QString& notice : s.notices) {
                if (onNotice) {
                    onNotice(notice);
                }
            }
            for (const StoredReading& r : s.readings) {
                if (onSent) {
                    onSent(r);
                }
            }
            if (std::exchange(pushAgain_, false)) {
                push();
            }
            checkIdle();
        });
}

void HistoryKeeper::stop() {
    if (sender_) {
        sender_.reset();
        pushing_ = false;
        pushAgain_ = false;
        stopped_ = true;
        if (centralProblem_.isEmpty()) {
            centralProblem_ = QStringLiteral("stopped before the central history answered");
        }
    }
    checkIdle();
}

void HistoryKeeper::checkIdle() {
    if (!idle()) {
        return;
    }
    if (stopped_) {
        // What the file says once the local work is done: the send may have ended half-way.
        MeterHistory here(setup_.path, MeterHistory::Damaged::Refuse, setup_.clock);
        here.setReadOnly(true);
        waiting_ = here.pendingCount().value_or(waiting_);
    }
    if (onIdle) {
        onIdle();
    }
}

}  // namespace tarvo
