#include "accounting/meter_history_view.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>

#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
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

MeterHistory& MeterHistoryView::history() {
    if (!history_) {
        history_ = std::make_unique<MeterHistory>(
            w_.platform().historyPath, MeterHistory::Damaged::MoveAside, w_.platform().clock);
    }
    return *history_;
}

void MeterHistoryView::readingShown(const MeterReading& reading) {
    resetDisplays();
    // After the handler that filled the displays has returned.
    QTimer::singleShot(0, &w_, [this, reading] { keep(reading); });
}

void MeterHistoryView::keep(const MeterReading& reading) {
    if (reading.serialNumber.trimmed().isEmpty()) {
        return;
    }
    const auto stored = history().store(reading);
    tellOnce(!stored);
    // A newer read may have begun meanwhile; its displays are not this reading's.
    if (!stored || !sameReading(w_.meterReport().lastReading(), reading)) {
        return;
    }
    for (size_t i = 0; i < stored->reading.terminals.size(); ++i) {
        const int n = stored->reading.terminals[i].number - 1;
        if (n < 0 || n >= RetreiveAccountingApp::kTerminals) {
            continue;
        }
        const auto boxes = meterDisplays(w_, n);
        for (size_t m = 0; m < boxes.size(); ++m) {
            showChange(boxes[m], stored->changes[i][m]);
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
    QTimer::singleShot(0, &w_, [this, here, serial] {
        tellOnce(!history().recordMemoryClear(here.time, here.port, here.address, serial));
    });
}

void MeterHistoryView::resetDisplays() {
    for (int n = 0; n < RetreiveAccountingApp::kTerminals; ++n) {
        for (QLineEdit* box : meterDisplays(w_, n)) {
            resetDisplay(box);
        }
    }
}

void MeterHistoryView::tellOnce(bool failed) {
    auto tell = [this](const QString& text) {
        w_.ResponseWindow->appendText(text + QStringLiteral("\r\n"));
    };
    for (const QString& notice : history().takeNotices()) {
        tell(notice);
    }
    if (failed && !problemTold_) {
        problemTold_ = true;
        tell(QStringLiteral("Meter history not kept: %1").arg(history().problem()));
    }
}

}  // namespace tarvo
