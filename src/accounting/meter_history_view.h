#pragma once

#include <memory>

#include "core/meter_reading.h"

namespace tarvo {

class RetreiveAccountingApp;
class MeterHistory;
class HistoryThread;
struct StoredReading;

// Keeps every reading that View Info shows and tells, on each meter display's tooltip, how
// the meter moved since the previous reading of the same board. The history is opened at the
// first reading and written after the displays are filled, never while bytes arrive.
class MeterHistoryView {
  public:
    explicit MeterHistoryView(RetreiveAccountingApp& w);
    ~MeterHistoryView();

    void readingShown(const MeterReading& reading);
    void memoryCleared();

    // The central history the settings name ([History] Database), or "".
    QString centralUrl() const;

  private:
    MeterHistory& history();
    // The history on a thread of its own, when a central history is set; else null.
    HistoryThread* sender();
    void keep(const MeterReading& reading);
    void showStored(const StoredReading& stored);
    void resetDisplays();
    void tell(const QStringList& notices, const QString& problem);

    RetreiveAccountingApp& w_;
    std::unique_ptr<MeterHistory> history_;
    std::unique_ptr<HistoryThread> sender_;
    bool problemTold_ = false;
    bool boxShown_ = false;
};

}  // namespace tarvo
