#include "audit/audit_runner.h"

#include <cstdio>

#include "history/history_keeper.h"
#include "session/board_operations.h"
#include "session/board_session.h"

namespace tarvo {

QCoro::Task<std::vector<MeterReading>> AuditRunner::run(AuditPlan plan, Progress progress) {
    std::vector<MeterReading> readings;
    if (plan.target != AuditTarget::MultiDrop) {
        if (progress) {
            progress(0, 0, 1);
        }
        MeterReading reading = co_await readBoard(plan, std::nullopt);
        readings.push_back(std::move(reading));
        co_return readings;
    }
    const int total = static_cast<int>(plan.addresses.size());
    for (int i = 0; i < total && !interrupted_ && !session_.shuttingDown(); ++i) {
        if (progress) {
            progress(plan.addresses[static_cast<size_t>(i)], i, total - i);
        }
        const int address = plan.addresses[static_cast<size_t>(i)];
        MeterReading reading = co_await readBoard(plan, address);
        readings.push_back(std::move(reading));
    }
    co_return readings;
}

void AuditRunner::interrupt() {
    interrupted_ = true;
    session_.requestStop();
}

QCoro::Task<MeterReading> AuditRunner::readBoard(const AuditPlan& plan,
                                                 std::optional<int> address) {
    LinkOptions options;
    options.interfacePosition = plan.interfacePosition;
    options.target = static_cast<Target>(plan.target);
    if (address) {
        options.multiDropAddress = QStringLiteral(" %1").arg(*address);
    }
    const bool kit = options.target == Target::Kit;

    std::optional<MeterReading> reading;
    QString error;
    // Status lines of the board and the link, as the window's status box would show them.
    QString status;
    const auto statusLink = QObject::connect(&session_, &BoardSession::statusMessage,
                                             [&status](const QString& text) { status = text; });
    {
        auto op = session_.begin(options);
        const board::ConnectResult connected = co_await board::connect(session_);
        if (session_.stopping() || interrupted_) {
            error = QStringLiteral("interrupted");
        } else if (!connected.connected) {
            error = QStringLiteral("ERROR CONNECTING");
            if (!connected.failure.isEmpty()) {
                error += QStringLiteral(": ") + connected.failure.trimmed();
            }
        } else if (session_.refusesAddressZero(
                       QStringLiteral("Cannot read meters with multi drop address of 0"))) {
            error = QStringLiteral("multi drop address 0");
        } else {
            status.clear();
            const board::MeterRead read =
                co_await board::readMeterReport(session_, kit, board::ReportEnd::WholeAndQuiet);
            if (read.report) {
                reading = board::readingAt(options, clock_(), read.report);
            } else if (session_.shuttingDown() || read.stopped) {
                error = QStringLiteral("interrupted");
            } else {
                const QString why =
                    read.error.isEmpty() ? QStringLiteral("no meter report") : read.error;
                error = why + QStringLiteral(" (%1 characters received)").arg(read.received);
            }
        }
        if (session_.Connected == 1) {
            co_await board::disconnect(session_);
        }
    }
    QObject::disconnect(statusLink);
    if (reading) {
        keep(*reading);
    } else {
        reading = board::readingAt(options, clock_());
        reading->error = error.isEmpty() ? QStringLiteral("no meter report") : error;
    }
    if (!plan.devicePath.isEmpty()) {
        reading->port = plan.devicePath;
    }
    co_return *reading;
}

void AuditRunner::keep(const MeterReading& reading) {
    if (!history_) {
        return;
    }
    if (reading.serialNumber.trimmed().isEmpty()) {
        if (!std::exchange(noSerialTold_, true)) {
            tell_(QStringLiteral(
                "A board without a serial number: its readings are not kept in the meter "
                "history"));
        }
        return;
    }
    history_->keep(reading);
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

}  // namespace tarvo
