#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "drivers/pty_board.h"
#include "drivers/sim_usb_library.h"
#include "model/board_model.h"
#include "platform/qsettings_store.h"
#include "platform/qt_serial_line.h"
#include "shell/main_window.h"
#include "support/fake_file_chooser.h"
#include "support/fake_prompts.h"
#include "support/qstring_printer.h"

namespace tarvo::test {

// The program's main window (offscreen) with its real serial line, real settings store and
// the simulated board behind a real pseudo-terminal on Com1; USB reaches the same board.
// Timers tick every few milliseconds. Message boxes are answered by script.
class BoardHarness {
  public:
    // `tickIntervalMs`: the coarse timers' period; waits that are bounded by ticks alone
    // (the connect probe) need it long enough for a reply to cross the pseudo-terminal.
    explicit BoardHarness(sim::BoardConfig config = {},
                          const std::function<void(SettingsStore&)>& preset = {},
                          int tickIntervalMs = 10);
    ~BoardHarness();
    BoardHarness(const BoardHarness&) = delete;
    BoardHarness& operator=(const BoardHarness&) = delete;

    RetreiveAccountingApp& w() { return *window_; }
    // The meter history of this window, in a folder of its own.
    QString historyPath() const {
        return dataDir_.filePath(QStringLiteral("meter-history.sqlite"));
    }
    sim::BoardModel& board() { return model_; }
    sim::PtyBoard& pty() { return *pty_; }
    FakePrompts& prompts() { return *prompts_; }
    FakeFileChooser& files() { return *files_; }
    QtSerialLine& serial() { return *serial_; }
    // Every frame the board received, as hexadecimal lines.
    QStringList trace() const { return model_.trace(); }

    // Clicks Connect; true when the window ends connected.
    bool connect();
    // Runs the event loop until the operation under way has ended; false if it never does.
    bool idle();
    // Runs the event loop until `done` holds or `timeoutMs` passes.
    bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000);
    // Waits until the board has been quiet (no new trace line) for `quietMs`.
    void settle(int quietMs = 150);

  private:
    QTemporaryDir dataDir_;
    sim::BoardModel model_;
    std::unique_ptr<sim::PtyBoard> pty_;
    std::shared_ptr<sim::SimUsbLibrary> usb_;
    std::shared_ptr<QtSerialLine> serial_;
    std::shared_ptr<QSettingsStore> settings_;
    std::shared_ptr<FakePrompts> prompts_ = std::make_shared<FakePrompts>();
    std::shared_ptr<FakeFileChooser> files_ = std::make_shared<FakeFileChooser>();
    std::unique_ptr<RetreiveAccountingApp> window_;
};

}  // namespace tarvo::test
