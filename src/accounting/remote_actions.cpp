#include "accounting/remote_actions.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>

#include "core/numeric.h"
#include "session/board_operations.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

constexpr int kLargestMultiplier = 254;

// Back to the colour a line edit has by default, whatever colour it was given before.
void resetBackground(QLineEdit* box) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, QApplication::palette(box).color(QPalette::Base));
    box->setPalette(palette);
}

}  // namespace

RemoteActions::RemoteActions(RetreiveAccountingApp& w) : w_(w) {}

void RemoteActions::ClearMemory_Click() {
    if (w_.session().busy()) {
        return;
    }
    // Asked before the operation begins: no frame waits for the answer.
    const MsgAnswer answer = w_.platform().prompts->message(
        QStringLiteral("Are you sure you want to erase all accounting in the Tarvo Board?"),
        MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Clear all Memory"));
    auto op = w_.beginOperation();
    if (!op) {
        return;
    }
    w_.session().clearText();
    if (answer != MsgAnswer::Yes) {
        w_.SystemMessage->setText(QStringLiteral("Clear memory canceled"));
        return;
    }
    clearMemory(std::move(op));
}

QCoro::Task<> RemoteActions::clearMemory([[maybe_unused]] BoardSession::Operation op) {
    BoardSession& s = w_.session();
    // Only a clear that went out to a connected board is said and excused in the history;
    // a refusal stays on the status line.
    const bool sent = co_await board::clearMemory(s);
    if (!sent || s.Connected != 1 || w_.closing()) {
        co_return;
    }
    // The board needs the time; the program does not wait for it.
    w_.SystemMessage->setText(QStringLiteral("Clearing memory, please wait 30 seconds..."));
    if (onMemoryCleared) {
        onMemoryCleared();
    }
}

namespace {

QCoro::Task<> holding([[maybe_unused]] BoardSession::Operation op, QCoro::Task<bool> operation) {
    co_await operation;
}

}  // namespace

void RemoteActions::ForceCashout_Click(int index) {
    if (auto op = w_.beginOperation()) {
        holding(std::move(op), board::forceCashout(w_.session(), index));
    }
}

void RemoteActions::PutCoinIn_Click(int index) {
    if (auto op = w_.beginOperation()) {
        holding(std::move(op), board::coinIn(w_.session(), index));
    }
}

void RemoteActions::SendCoinMultiA_Click(int index) {
    if (auto op = w_.beginOperation()) {
        holding(std::move(op), sendMultiplier('A', index));
    }
}

void RemoteActions::SendCoinMultiB_Click(int index) {
    if (auto op = w_.beginOperation()) {
        holding(std::move(op), sendMultiplier('B', index));
    }
}

QCoro::Task<bool> RemoteActions::sendMultiplier(char input, int index) {
    const QLineEdit* box = input == 'A' ? w_.TxtCoinInMultiA[index] : w_.TxtCoinInMultiB[index];
    if (box->text().isEmpty()) {
        co_return false;
    }
    const double value = leadingNumber(box->text());
    // The byte sent must be the number typed: 254.6 would round to 255 and -1 is no byte, so
    // both are refused like 255 itself. The comparisons also keep infinities and NaN out.
    bool fits = value > -1.0 && value < kLargestMultiplier + 1.0;
    int64_t whole = 0;
    if (fits) {
        whole = roundHalfEven(value);
        fits = whole >= 0 && whole <= kLargestMultiplier;
    }
    if (!fits) {
        w_.platform().prompts->message(QStringLiteral("MAXIMUM VALUE IS 254"), MsgButtons::Ok,
                                       MsgIcon::None, QString());
        co_return false;
    }
    auto sent =
        co_await board::coinInMultiplier(w_.session(), input, index, static_cast<int>(whole));
    co_return sent;
}

void RemoteActions::TxtCoinInMultiA_Change(int index) {
    resetBackground(w_.TxtCoinInMultiA[index]);
}

void RemoteActions::TxtCoinInMultiB_Change(int index) {
    resetBackground(w_.TxtCoinInMultiB[index]);
}

}  // namespace tarvo
