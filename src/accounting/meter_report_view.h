#pragma once

namespace tarvo {

class RetreiveAccountingApp;

// "View Info": asks for the meter report and reads it into the displays.
class MeterReportView {
  public:
    explicit MeterReportView(RetreiveAccountingApp& w);
    void cmdViewOnly_Click();
    void ParseMeterReport();

  private:
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
