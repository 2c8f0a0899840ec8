#pragma once

#include <memory>

#include "core/meter_reading.h"

namespace tarvo {

class RetreiveAccountingApp;
class HistoryKeeper;
struct StoredReading;

// Keeps every reading that View Info shows and tells, on each meter display's tooltip, how
// the meter moved since the previous reading of the same board. The history is kept off the
// window's thread, after the displays are filled, never while bytes arrive; the central
// history's comparison, when it comes, replaces the local one.
class MeterHistoryView {
  public:
    explicit MeterHistoryView(RetreiveAccountingApp& w);
    ~MeterHistoryView();

    void readingShown(const MeterReading& reading);
    void memoryCleared();

    // True while a reading is being kept or sent.
    bool busy() const;

    // The central history the settings name ([History] Database), or "".
    QString centralUrl() const;

  private:
    HistoryKeeper& keeper();
    void showStored(const StoredReading& stored);
    void resetDisplays();
    void say(const QString& text);

    RetreiveAccountingApp& w_;
    std::unique_ptr<HistoryKeeper> keeper_;
    QString keeperUrl_;
    bool problemTold_ = false;
    bool noSerialTold_ = false;
    bool boxShown_ = false;
};

}  // namespace tarvo
