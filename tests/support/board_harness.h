#pragma once

#include <QElapsedTimer>
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
// Message boxes are answered by script.
//
// One clock for both sides: the program's coarse timers tick every few milliseconds, and the
// board's reply delays (pulses, a modem's answer) count on those ticks. No tick passes while
// bytes cross the pseudo-terminal or a reply whose time has come is still to go out, so the
// program's waits bounded by ticks (the connect probe, the report, the dial) measure the
// board's own pace, never the machine's. A tick held back for five seconds passes all the
// same.
class BoardHarness {
  public:
    // `tickIntervalMs`: the coarse timers' period.
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
    QtSerialLine& serial() { return *serial_; }
    // Every frame the board received, as hexadecimal lines.
    QStringList trace() const { return model_.trace(); }

    // Clicks Connect; true when the window ends connected.
    bool connect();
    // Runs the event loop until the operation under way has ended; false if it never does.
    bool idle();
    // Runs the event loop until `done` holds or `timeoutMs` passes.
    bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000);
    // Waits until the line is idle: everything the program wrote has reached the board,
    // every reply the board scheduled has gone out and reached the program. With `quietMs`
    // it must stay so that long. Bounded at ten seconds, as a board that talks on its own
    // never goes idle.
    void settle(int quietMs = 0);

  private:
    // The program's port, counting what the program hands it.
    class CountingLine : public QtSerialLine {
      public:
        using QtSerialLine::QtSerialLine;
        bool open() override;
        void write(const QByteArray& bytes) override;
        std::function<void()> opening;
        qint64 written = 0;
    };
    bool lineCaughtUp() const;
    // Holds the session's ticks back while the line has not caught up.
    class TickGate : public QObject {
      public:
        explicit TickGate(BoardHarness& h) : h_(h) {}
        bool eventFilter(QObject* timer, QEvent* event) override;

      private:
        BoardHarness& h_;
        QElapsedTimer heldSince_;
    };

    QTemporaryDir dataDir_;
    sim::BoardModel model_;
    std::unique_ptr<sim::PtyBoard> pty_;
    std::shared_ptr<sim::SimUsbLibrary> usb_;
    std::shared_ptr<CountingLine> serial_;
    // Since the program last opened its port; bytes in flight across an open are lost.
    qint64 boardReceived_ = 0, boardSent_ = 0, programReceived_ = 0;
    std::shared_ptr<QSettingsStore> settings_;
    std::shared_ptr<FakePrompts> prompts_ = std::make_shared<FakePrompts>();
    std::shared_ptr<FakeFileChooser> files_ = std::make_shared<FakeFileChooser>();
    std::unique_ptr<RetreiveAccountingApp> window_;
    int tickIntervalMs_;
    qint64 boardClockMs_ = 0;  // the board's clock: one tick interval per period of Timer1
    TickGate gate_{*this};
};

}  // namespace tarvo::test
