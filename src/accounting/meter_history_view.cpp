#include "accounting/meter_history_view.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>

#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "history/history_keeper.h"
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

bool MeterHistoryView::busy() const {
    return keeper_ && !keeper_->idle();
}

HistoryKeeper& MeterHistoryView::keeper() {
    // The settings may name another central history since the last reading.
    const QString url = centralUrl();
    if (!keeper_ || url != keeperUrl_) {
        keeper_.reset();
        keeperUrl_ = url;
        keeper_ = std::make_unique<HistoryKeeper>(HistoryKeeper::Setup{
            w_.platform().historyPath, MeterHistory::Damaged::MoveAside, w_.platform().clock, url});
        keeper_->onNotice = [this](const QString& text) { say(text); };
        keeper_->onKept = [this](const HistoryKeeper::Kept& k) {
            if (!k.ok && !problemTold_) {
                problemTold_ = true;
                say(QStringLiteral("Meter history not kept: %1").arg(k.problem));
            }
            // A newer read may have begun meanwhile; its displays are not this reading's.
            if (k.stored && sameReading(w_.meterReport().lastReading(), k.asked)) {
                showStored(*k.stored);
            }
        };
        keeper_->onSent = [this](const StoredReading& s) {
            if (sameReading(w_.meterReport().lastReading(), s.reading)) {
                showStored(s);  // the central history knows the other technicians' readings
            }
        };
    }
    return *keeper_;
}

void MeterHistoryView::readingShown(const MeterReading& reading) {
    resetDisplays();
    if (reading.serialNumber.trimmed().isEmpty()) {
        if (!noSerialTold_) {
            noSerialTold_ = true;
            say(QStringLiteral(
                "This board has no serial number: its readings are not kept in the meter "
                "history."));
        }
        return;
    }
    // After the handler that filled the displays has returned.
    QTimer::singleShot(0, &w_, [this, reading] { keeper().keep(reading); });
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
    // Behind the readings before it, on the same thread, so a later reading sees it.
    QTimer::singleShot(0, &w_, [this, here, serial] {
        keeper().recordMemoryClear(here.time, here.port, here.address, serial);
    });
}

void MeterHistoryView::resetDisplays() {
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        for (QLineEdit* box : meterDisplays(w_, n)) {
            resetDisplay(box);
        }
    }
}

void MeterHistoryView::say(const QString& text) {
    w_.ResponseWindow->appendText(text + QStringLiteral("\r\n"));
    // The next command clears the response box: the first word of the session also comes in
    // a box that stays until it is read.
    if (!boxShown_ && w_.platform().prompts) {
        boxShown_ = true;
        w_.platform().prompts->message(text, MsgButtons::Ok, MsgIcon::Exclamation, QString());
    }
}

}  // namespace tarvo
