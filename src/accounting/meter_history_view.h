#pragma once

#include <memory>

#include "core/meter_reading.h"

namespace tarvo {

class RetreiveAccountingApp;
class MeterHistory;

// Keeps every reading that View Info shows and tells, on each meter display's tooltip, how
// the meter moved since the previous reading of the same board. The history is opened at the
// first reading and written after the displays are filled, never while bytes arrive.
class MeterHistoryView {
  public:
    explicit MeterHistoryView(RetreiveAccountingApp& w);
    ~MeterHistoryView();

    void readingShown(const MeterReading& reading);
    void memoryCleared();

  private:
    MeterHistory& history();
    void keep(const MeterReading& reading);
    void resetDisplays();
    void tellOnce(bool failed);

    RetreiveAccountingApp& w_;
    std::unique_ptr<MeterHistory> history_;
    bool problemTold_ = false;
};

}  // namespace tarvo
