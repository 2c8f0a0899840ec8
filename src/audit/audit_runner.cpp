#include "audit/audit_runner.h"

#include <cstdio>

#include "accounting/meter_report_view.h"
#include "shell/main_window.h"

namespace tarvo {

std::vector<MeterReading> AuditRunner::run(const AuditPlan& plan, const Progress& progress) {
    std::vector<MeterReading> readings;
    if (plan.target != AuditTarget::MultiDrop) {
        if (progress) {
            progress(0, 0, 1);
        }
        readings.push_back(readBoard(plan, std::nullopt));
        return readings;
    }
    const int total = static_cast<int>(plan.addresses.size());
    for (int i = 0; i < total && !w_.closing(); ++i) {
        if (progress) {
            progress(plan.addresses[static_cast<size_t>(i)], i, total - i);
        }
        readings.push_back(readBoard(plan, plan.addresses[static_cast<size_t>(i)]));
    }
    return readings;
}

MeterReading AuditRunner::readBoard(const AuditPlan& plan, std::optional<int> address) {
    QRadioButton* const options[] = {w_.Option1, w_.Option2, w_.Option3, w_.Option4};
    w_.COMInterface->setCurrentIndex(plan.interfacePosition);
    options[static_cast<int>(plan.target)]->click();
    if (address) {
        w_.MultiDropAddress->setCurrentText(QStringLiteral(" %1").arg(*address));
    }

    std::optional<MeterReading> reading;
    QString error;
    w_.Connect->click();
    if (w_.closing()) {
        error = QStringLiteral("interrupted");
    } else if (w_.Connected != 1) {
        error = w_.SystemMessage->text();
        if (!w_.ResponseWindow->text().isEmpty()) {
            error += QStringLiteral(": ") + w_.ResponseWindow->text().trimmed();
        }
    } else {
        w_.cmdViewOnly->click();
        reading = w_.meterReport().lastReading();
        if (!reading) {
            error = w_.closing() ? QStringLiteral("interrupted") : reasonWithoutReport();
        }
        if (!w_.closing() && w_.Connected == 1) {
            w_.Connect->click();
        }
    }
    if (!reading) {
        reading = MeterReading{};
        reading->time = w_.platform().clock();
        reading->port = w_.COMInterface->currentText();
        reading->address = address;
        reading->error = error.isEmpty() ? QStringLiteral("no meter report") : error;
    }
    if (!plan.devicePath.isEmpty()) {
        reading->port = plan.devicePath;
    }
    return *reading;
}

QString AuditRunner::reasonWithoutReport() const {
    QString why = w_.SystemMessage->text();
    if (why.isEmpty()) {
        why = QStringLiteral("no meter report");
    }
    return why + QStringLiteral(" (%1 characters received)").arg(w_.RxCount);
}

MsgAnswer StderrPrompts::message(const QString& text, MsgButtons buttons, MsgIcon,
                                 const QString& title) {
    std::fprintf(stderr, "tarvo-audit: %s%s%s\n", qPrintable(title), title.isEmpty() ? "" : ": ",
                 qPrintable(text));
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::YesNo:
            return MsgAnswer::No;
        case MsgButtons::OkCancel:
        case MsgButtons::YesNoCancel:
            break;
    }
    return MsgAnswer::Cancel;
}

QString StderrPrompts::input(const QString& prompt, const QString& title, const QString&) {
    std::fprintf(stderr, "tarvo-audit: %s: %s (no answer without a screen)\n", qPrintable(title),
                 qPrintable(prompt));
    return {};
}

std::optional<QString> UnsavedSettingsStore::value(const QString& section,
                                                   const QString& key) const {
    const auto it = set_.find(section + QLatin1Char('/') + key);
    if (it != set_.end()) {
        return it->second;
    }
    return backing_ ? backing_->value(section, key) : std::nullopt;
}

void UnsavedSettingsStore::setValue(const QString& section, const QString& key,
                                    const QString& value) {
    set_[section + QLatin1Char('/') + key] = value;
}

}  // namespace tarvo
