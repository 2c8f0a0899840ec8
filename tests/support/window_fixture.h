#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "shell/main_window.h"
#include "support/fake_file_chooser.h"
#include "support/fake_prompts.h"
#include "support/fake_serial_line.h"
#include "support/fake_usb_library.h"
#include "support/memory_settings_store.h"
#include "support/qstring_printer.h"

namespace tarvo::test {

// The real main window on fake platform services, its timers ticking every few milliseconds.
class WindowFixture {
  public:
    // `preset` fills the settings store before the window starts up.
    explicit WindowFixture(const std::function<void(MemorySettingsStore&)>& preset = {},
                           int tickIntervalMs = 2);
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    RetreiveAccountingApp& w() { return *window_; }
    // The meter history of this window, in a folder of its own.
    QString historyPath() const {
        return dataDir_.filePath(QStringLiteral("meter-history.sqlite"));
    }

    // Chooses "Com<position + 1>" or, at position 32, "USB" with a board plugged in.
    void chooseInterface(int position);
    // Clicks Connect; true when the window is connected. What connecting sent is forgotten.
    bool connect();
    // Runs the event loop until the operation under way has ended (a clicked command's
    // waits, transfers and pauses); false if it never does.
    bool idle();
    // Forgets what went out on the serial line and over USB.
    void forgetSent();
    // Every meter request (0x80 0x81 0x81) that reaches the board is answered with `report`,
    // on the serial line and over USB alike.
    void answerMeterRequests(const QByteArray& report);
    // The data of every USB_Write, one frame each, in order.
    std::vector<QByteArray> usbFrames() const;

    std::shared_ptr<FakeSerialLine> serial = std::make_shared<FakeSerialLine>();
    std::shared_ptr<FakeUsbLibrary> usb = std::make_shared<FakeUsbLibrary>();
    std::shared_ptr<FakePrompts> prompts = std::make_shared<FakePrompts>();
    std::shared_ptr<FakeFileChooser> files = std::make_shared<FakeFileChooser>();
    std::shared_ptr<MemorySettingsStore> settings = std::make_shared<MemorySettingsStore>();

  private:
    QTemporaryDir dataDir_;
    std::unique_ptr<RetreiveAccountingApp> window_;
};

// A six-panel meter report as a board prints it, padded past 1300 characters. Panel n
// (0..5) shows: pulse value "25" "DIP" "1" "5000" "2" "4", multiplier "100" "1000" "1" "50"
// "2" "5", value in CENTS for even n and DOLLAR for odd, print unit POINTS for n = 1 and MONEY
// otherwise, status PLAY for n = 2 and IDLE otherwise, coin-in multipliers A n + 1 and B
// n + 7, meters Received 1000(n+1)+1, Returned +2, Paid Out +3, Coin_1 +4, Coin_2 +5 as nine
// zero-padded digits. Printer firmware "PRN-V1.02" (status OK), serial "00123456", board
// firmware "BRD-V2.05".
QByteArray sixPanelReport();

}  // namespace tarvo::test
