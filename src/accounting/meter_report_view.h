#pragma once

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

#include "core/meter_reading.h"
#include "core/meter_report.h"

namespace tarvo {

class RetreiveAccountingApp;

// "View Info": asks for the meter report and reads it into the displays.
class MeterReportView {
  public:
    explicit MeterReportView(RetreiveAccountingApp& w);
    void cmdViewOnly_Click();
    // View Info for a handler that already holds the board (calibration, parameter write).
    QCoro::Task<> viewInfo();
    // Fills the displays from a read report and keeps it as the last reading.
    void showReport(const MeterReport& report);

    // The values of the last report that filled the displays; nothing after a failed read.
    const std::optional<MeterReading>& lastReading() const { return last_; }
    // A record that names where this window reads now (time, port, multi-drop address),
    // without values.
    MeterReading readingHere() const;
    // Called once for every report that filled the displays, after they show it.
    std::function<void(const MeterReading&)> onReading;

  private:
    RetreiveAccountingApp& w_;
    std::optional<MeterReading> last_;
};

}  // namespace tarvo
