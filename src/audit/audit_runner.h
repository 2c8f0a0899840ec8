#pragma once

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "audit/audit_command.h"
#include "core/meter_reading.h"
#include "platform/prompts.h"

namespace tarvo {

class BoardSession;
class HistoryKeeper;

// Reads meter reports on the board session, as a technician would with the window's buttons:
// Connect, View Info, Disconnect; once for each address of a multi-drop line.
class AuditRunner {
  public:
    // Called before each board is read: its address (0 off a bus), boards done, boards left.
    using Progress = std::function<void(int address, int done, int left)>;

    AuditRunner(BoardSession& session, std::function<QDateTime()> clock)
        : session_(session), clock_(std::move(clock)) {}

    // Every reading with a serial number is kept there; what the history has to say goes to
    // `tell`.
    void keepIn(HistoryKeeper* history, std::function<void(const QString&)> tell) {
        history_ = history;
        tell_ = std::move(tell);
    }

    // One record per board, in reading order; a board that did not answer with a whole
    // report is a record with its error. Stops early only when interrupted.
    QCoro::Task<std::vector<MeterReading>> run(AuditPlan plan, Progress progress = {});
    // Ctrl-C: the command on the wire is finished, the board disconnected, and no further
    // board is read.
    void interrupt();
    bool interrupted() const { return interrupted_; }

  private:
    QCoro::Task<MeterReading> readBoard(const AuditPlan& plan, std::optional<int> address);
    void keep(const MeterReading& reading);

    BoardSession& session_;
    std::function<QDateTime()> clock_;
    HistoryKeeper* history_ = nullptr;
    std::function<void(const QString&)> tell_;
    bool noSerialTold_ = false;
    bool interrupted_ = false;
};

// Message boxes of a run without a screen: the text goes to standard error and every
// question is answered with its cautious choice (Cancel, No).
class StderrPrompts : public Prompts {
  public:
    MsgAnswer message(const QString& text, MsgButtons buttons, MsgIcon icon,
                      const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
};

}  // namespace tarvo
