#include "accounting/meter_history_view.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>

#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "history/history_thread.h"
#include "history/meter_history.h"
#include "shell/main_window.h"
#include "shell/terminal_displays.h"

namespace tarvo {

namespace {

void showChange(QLineEdit* box, const MeterChange& change) {
    const QString tip = changeToolTip(change);
    box->setToolTip(tip);
    box->setAccessibleDescription(tip);
    QPalette palette = QApplication::palette(box);
    if (change.wentBackwards()) {
        // Amber behind dark text reads on light and dark desktop themes alike.
        palette.setColor(QPalette::Base, QColor(0xFF, 0xC8, 0x70));
        palette.setColor(QPalette::Text, Qt::black);
    }
    box->setPalette(palette);
}

void resetDisplay(QLineEdit* box) {
    box->setToolTip(QString());
    box->setAccessibleDescription(QString());
    box->setPalette(QApplication::palette(box));
}

bool sameReading(const std::optional<MeterReading>& shown, const MeterReading& kept) {
    return shown && shown->time == kept.time && shown->serialNumber == kept.serialNumber &&
           shown->port == kept.port;
}

}  // namespace

MeterHistoryView::MeterHistoryView(RetreiveAccountingApp& w) : w_(w) {
    w_.meterReport().onReading = [this](const MeterReading& r) { readingShown(r); };
    w_.remoteActions().onMemoryCleared = [this] { memoryCleared(); };
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        for (QLineEdit* box : meterDisplays(w_, n)) {
            // Emptied displays (a new read, a disconnect) drop what they said of the last one.
            QObject::connect(box, &QLineEdit::textChanged, box, [box](const QString& text) {
                if (text.isEmpty()) {
                    resetDisplay(box);
                }
            });
        }
    }
}

MeterHistoryView::~MeterHistoryView() = default;

QString MeterHistoryView::centralUrl() const {
    const auto& settings = w_.platform().settings;
    return settings ? settings->value(QStringLiteral("History"), QStringLiteral("Database"))
                          .value_or(QString())
                          .trimmed()
                    : QString();
}

MeterHistory& MeterHistoryView::history() {
    if (!history_) {
        history_ = std::make_unique<MeterHistory>(
            w_.platform().historyPath, MeterHistory::Damaged::MoveAside, w_.platform().clock);
    }
    return *history_;
}

HistoryThread* MeterHistoryView::sender() {
    const QString url = centralUrl();
    if (url.isEmpty()) {
        return nullptr;
    }
    if (!sender_) {
        // The server may be slow or out of reach: the window does not wait for it.
        sender_ = std::make_unique<HistoryThread>([path = w_.platform().historyPath,
                                                   clock = w_.platform().clock, url] {
            auto h = std::make_unique<MeterHistory>(path, MeterHistory::Damaged::MoveAside, clock);
            h->setCentral(url);
            return h;
        });
    }
    return sender_.get();
}

void MeterHistoryView::readingShown(const MeterReading& reading) {
    resetDisplays();
    // After the handler that filled the displays has returned.
    QTimer::singleShot(0, &w_, [this, reading] { keep(reading); });
}

namespace {

// What keeping a reading or a clear came to, and what the user should hear of it.
struct Kept {
    std::optional<StoredReading> stored;
    bool ok = false;
    QString problem;
    QStringList notices;
};

}  // namespace

void MeterHistoryView::keep(const MeterReading& reading) {
    if (reading.serialNumber.trimmed().isEmpty()) {
        return;
    }
    auto shown = [this, reading](const Kept& k) {
        tell(k.notices, k.ok ? QString() : k.problem);
        // A newer read may have begun meanwhile; its displays are not this reading's.
        if (k.stored && sameReading(w_.meterReport().lastReading(), reading)) {
            showStored(*k.stored);
        }
    };
    auto work = [reading](MeterHistory& h) {
        Kept k;
        k.stored = h.store(reading);
        k.ok = k.stored.has_value();
        k.problem = h.problem();
        k.notices = h.takeNotices();
        return k;
    };
    if (HistoryThread* away = sender()) {
        away->post(&w_, work, shown);
    } else {
        shown(work(history()));
    }
}

void MeterHistoryView::showStored(const StoredReading& stored) {
    for (size_t i = 0; i < stored.reading.terminals.size(); ++i) {
        const int n = stored.reading.terminals[i].number - 1;
        if (n < 0 || n >= RetreiveAccountingApp::kTerminals) {
            continue;
        }
        const auto boxes = meterDisplays(w_, n);
        for (size_t m = 0; m < boxes.size(); ++m) {
            showChange(boxes[m], stored.changes[i][m]);
        }
    }
}

void MeterHistoryView::memoryCleared() {
    // The board is the one last read here when it was read on the same line and address.
    const auto& last = w_.meterReport().lastReading();
    const MeterReading here = w_.meterReport().readingHere();
    const QString serial = last && last->port == here.port && last->address == here.address
                               ? last->serialNumber
                               : QString();
    auto work = [here, serial](MeterHistory& h) {
        Kept k;
        k.ok = h.recordMemoryClear(here.time, here.port, here.address, serial);
        k.problem = h.problem();
        k.notices = h.takeNotices();
        return k;
    };
    auto told = [this](const Kept& k) { tell(k.notices, k.ok ? QString() : k.problem); };
    QTimer::singleShot(0, &w_, [this, work, told] {
        // Behind the readings before it, on the same thread, so a later reading sees it.
        if (HistoryThread* away = sender()) {
            away->post(&w_, work, told);
        } else {
            told(work(history()));
        }
    });
}

void MeterHistoryView::resetDisplays() {
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        for (QLineEdit* box : meterDisplays(w_, n)) {
            resetDisplay(box);
        }
    }
}

void MeterHistoryView::tell(const QStringList& notices, const QString& problem) {
    auto say = [this](const QString& text) {
        w_.ResponseWindow->appendText(text + QStringLiteral("\r\n"));
        // The next command clears the response box: the first word of the session also
        // comes in a box that stays until it is read.
        if (!boxShown_ && w_.platform().prompts) {
            boxShown_ = true;
            w_.platform().prompts->message(text, MsgButtons::Ok, MsgIcon::Exclamation, QString());
        }
    };
    for (const QString& notice : notices) {
        say(notice);
    }
    if (!problem.isEmpty() && !problemTold_) {
        problemTold_ = true;
        say(QStringLiteral("Meter history not kept: %1").arg(problem));
    }
}

}  // namespace tarvo
