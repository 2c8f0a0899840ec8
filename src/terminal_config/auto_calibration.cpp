#include "terminal_config/auto_calibration.h"

#include <array>
#include <vector>

#include "accounting/meter_report_view.h"
#include "accounting/remote_actions.h"
#include "core/calibration.h"
#include "core/numeric.h"
#include "session/board_operations.h"
#include "shell/main_window.h"
#include "terminal_config/parameter_write.h"

namespace tarvo {

namespace {

constexpr int kAllTerminals = 6;
const char* const kErrorTitle = "ERROR ON CALIBRATION";

struct Snapshot {
    bool active = false;
    int64_t received = 0;
    bool cents = false;
};

int64_t wholeMeter(const QString& text) {
    return roundHalfEven(leadingNumber(text));
}

}  // namespace

AutoCalibration::AutoCalibration(RetreiveAccountingApp& w) : w_(w) {}

void AutoCalibration::CmdAutoCalibrate_Click() {
    // Nothing else reaches the board until the calibration is done: a coin or a second
    // calibration would change the counted difference and write a wrong multiplier.
    if (w_.session().busy()) {
        return;
    }
    const QString text = w_.CmdTerminalToCalibrate->currentText();
    // Typed text that names no item leaves no terminal to address.
    const int position = text.isEmpty() ? -1
                                        : w_.CmdTerminalToCalibrate->findText(
                                              text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (position < 0 || position > kAllTerminals) {
        refuse("Please select Terminal", "No Terminals Selected");
        return;
    }
    if (auto op = w_.beginOperation()) {
        run(std::move(op), position);
    }
}

void AutoCalibration::refuse(const char* text, const char* title) {
    w_.platform().prompts->message(QString::fromLatin1(text), MsgButtons::Ok, MsgIcon::Critical,
                                   QString::fromLatin1(title));
}

QCoro::Task<> AutoCalibration::run(BoardSession::Operation op, int position) {
    const QStringList problems = co_await calibrateAll(position);
    // The operation ends before any message box: no frame waits for one.
    op.end();
    if (w_.closing()) {
        co_return;
    }
    for (const QString& problem : problems) {
        w_.platform().prompts->message(problem, MsgButtons::Ok, MsgIcon::Critical,
                                       QString::fromLatin1(kErrorTitle));
    }
}

QCoro::Task<QStringList> AutoCalibration::calibrateAll(int position) {
    QStringList problems;
    const int n = RetreiveAccountingApp::kTerminals;
    co_await w_.meterReport().viewInfo();
    if (w_.closing()) {
        co_return problems;
    }
    std::array<Snapshot, RetreiveAccountingApp::kTerminals> before;
    for (int i = 0; i < n; ++i) {
        before[i].active = w_.Status[i]->text() == QStringLiteral("ON");
        before[i].received = wholeMeter(w_.Received[i]->text());
        before[i].cents = w_.cmbValueIn[i]->text() == QStringLiteral("CENTS");
    }
    std::vector<int> targets;
    if (position < kAllTerminals) {
        targets.push_back(position);
    } else {
        for (int i = 0; i < n; ++i) {
            if (before[i].active) {
                targets.push_back(i);
            }
        }
    }

    const bool coinsIn = co_await board::calibrationCoins(w_.session(), targets);
    if (!coinsIn || w_.closing()) {
        co_return problems;
    }
    co_await w_.meterReport().viewInfo();
    if (w_.closing()) {
        co_return problems;
    }
    std::array<int64_t, RetreiveAccountingApp::kTerminals> after{};
    for (int i = 0; i < n; ++i) {
        after[i] = wholeMeter(w_.Received[i]->text());
    }

    for (int i : targets) {
        const int32_t m = calibrationMultiplier(after[i] - before[i].received, before[i].cents);
        if (position < kAllTerminals) {
            if (m == 0) {
                problems << QStringLiteral("Can't Calibrate....");
            } else if (!before[i].active) {
                problems << QStringLiteral("Terminal NOT Active");
            } else {
                const bool calibrated = co_await calibrate(i, m);
                if (!calibrated && !w_.closing()) {
                    problems << QStringLiteral("Can't Calibrate....");
                }
            }
            co_return problems;
        }
        bool calibrated = m != 0;
        if (calibrated) {
            calibrated = co_await calibrate(i, m);
        }
        if (!calibrated) {
            if (w_.closing()) {
                co_return problems;
            }
            problems << QStringLiteral("Can't Calibrate # %1").arg(i + 1);
        }
        if (w_.closing()) {
            co_return problems;
        }
    }
    co_return problems;
}

QCoro::Task<bool> AutoCalibration::calibrate(int index, int multiplier) {
    w_.TxtCoinInMultiA[index]->setText(QStringLiteral("25"));
    co_await w_.remoteActions().sendMultiplier('A', index);
    if (w_.closing()) {
        co_return false;
    }
    ParamCombo* combo = w_.cmbPulseMultiplier[index];
    QStringList items;
    for (int k = 0; k < combo->count(); ++k) {
        items << combo->itemText(k);
    }
    const int found = multiplierPosition(items, multiplier);
    if (found < 0) {
        // The editor keeps what it showed: a multiplier the search merely passed must not
        // sit there looking like the result, one click away from being written.
        co_return false;
    }
    combo->setListIndex(found);
    co_await w_.parameterWrite().write(index);
    co_return true;
}

}  // namespace tarvo
