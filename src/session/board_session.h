#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <coroutine>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "core/frames.h"
#include "core/rx_interpreter.h"
#include "session/link_options.h"

class QTimer;

namespace tarvo {

class SerialLine;
class UsbLibrary;
class UsbWorker;
class Prompts;

// The one connection to a board: the interface, the state every board command shares, the
// text the board sent, the waits, and the rule that only one operation runs at a time. It
// holds no widget; windows and the command line show what it reports through its signals.
class BoardSession : public QObject {
    Q_OBJECT
  public:
    struct Services {
        std::shared_ptr<SerialLine> serial;
        // Null when the USB layer could not start.
        std::shared_ptr<UsbLibrary> usb;
        // Message boxes of the link itself ("ILLEGAL COMMAND", a received BREAK).
        std::shared_ptr<Prompts> prompts;
        // Period of the two coarse timers; tests shorten it.
        int tickIntervalMs = 1000;
    };

    explicit BoardSession(Services services, QObject* parent = nullptr);
    ~BoardSession() override;
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // --- Shared state ---
    int16_t Connected = 0;
    bool ExpectReply = false;
    QString PhoneNumber;
    int32_t UsbHandle = 0;
    int32_t AddressBitDelay = 5;
    int16_t TickCount = 0;
    int16_t RxCount = 0;
    int32_t RealTicks = 0;
    RxInterpreter Rx;  // RxState and SpinnerCount

    const Services& services() const { return services_; }
    // The link of the running operation (or of the last one).
    const LinkOptions& options() const { return options_; }

    // --- The received text ---
    // What the board sent since the last clear, as the response box shows it.
    const QString& text() const { return text_; }
    void clearText();

    // --- The link ---
    // Each of these is a coroutine: it runs until its first wait and completes when co_awaited.
    // 1 when the interface is open and the session command went out, else 0.
    QCoro::Task<int32_t> OpenTarvoBoard();
    // 1 when the transport took the frame, 0 when it refused it (the reason is then in
    // lastRefusal() and was reported as a status message).
    QCoro::Task<int32_t> WriteToTarvoBoard(QByteArray frame, int32_t length);
    QCoro::Task<int32_t> CloseTarvoBoard();
    // The pause after a multi-drop address byte: `milliseconds` ticks of the fine timer, whose
    // period is the delay itself; it ends early only when the session shuts down.
    QCoro::Task<> RealTimeDelay(int32_t milliseconds);
    // Hands one frame to the transport, or says "PLEASE CONNECT FIRST" and drops it. False
    // when the frame did not go out.
    QCoro::Task<bool> SendToTarvoBoard(QByteArray frame);
    // The target prefix (while the Brisko target is chosen) and then the command's pieces.
    // A stop lands before a command, never inside one: once its first frame went out, every
    // piece follows.
    // `continues`: the rest of a command the board already began to take (the second half of
    // the law text), which goes out even after a stop.
    QCoro::Task<bool> sendCommand(frames::Command command, bool continues = false);
    // Only the target prefix, for operations that change ExpectReply between the prefix and
    // the command; sendPieces then finishes the command.
    QCoro::Task<bool> sendPrefixFor(frames::Command command, bool continues = false);
    QCoro::Task<bool> sendPieces(frames::Command command, bool continues = false);
    // True, after the "ILLEGAL COMMAND" box with `message`, when "Multi Drop" is chosen and
    // the address reads as 0: the caller then sends nothing.
    bool refusesAddressZero(const QString& message);
    // Why the transport last refused a frame; empty when the running operation had none.
    const QString& lastRefusal() const { return refusal_; }

    // A character from the serial line, and one read from USB.
    void MSComm1_OnComm(char c);
    void ParseDataInWindow(char c);

    // --- Waits ---
    // Suspends until `done` holds. False when the running operation was stopped or the
    // session is shutting down: the caller then returns at once. After a shut-down no wait
    // suspends, so every operation unwinds before the session's owner goes.
    QCoro::Task<bool> waitUntil(std::function<bool()> done);
    // Waits until `done` holds or `ms` milliseconds have passed; false only when stopped.
    QCoro::Task<bool> waitUntilFor(std::function<bool()> done, int ms);
    // Waits until TickCount, set to 0 first, reaches `ticks`.
    QCoro::Task<bool> waitTicks(int ticks);
    // Waits `ms` milliseconds, or less when the session shuts down (or, if `stoppable`, the
    // operation is stopped). False when cut short.
    QCoro::Task<bool> sleepMs(int ms, bool stoppable);
    // True once the running operation was asked to stop, or the session shuts down.
    bool stopping() const { return stopRequested_ || shutDown_; }
    bool shuttingDown() const { return shutDown_; }
    // Ends every wait for good: the owner is closing. The operation under way unwinds now.
    void shutDown();

    // --- One operation at a time ---
    class Operation {
      public:
        Operation() = default;
        Operation(Operation&& other) noexcept;
        Operation& operator=(Operation&&) = delete;
        ~Operation();
        explicit operator bool() const { return session_ != nullptr; }
        // Gives the board back now rather than when this value goes.
        void end();

      private:
        friend class BoardSession;
        explicit Operation(BoardSession* session) : session_(session) {}
        BoardSession* session_ = nullptr;
    };
    // The right to use the board until the returned value goes; an empty value, touching
    // nothing, while another operation runs. `link` is read once here and addresses every
    // frame until the operation ends, whatever the controls do meanwhile; while a connection
    // is open (or being opened) its own link stays in force and `link` is ignored.
    [[nodiscard]] Operation begin(const LinkOptions& link);
    // The same, keeping the link in force (an operation that follows a connect).
    [[nodiscard]] Operation begin() { return begin(options_); }
    bool busy() const { return busy_; }
    // Ends the waits of the running operation; the command on the wire is finished first.
    void requestStop();

    // --- The connection's state, for whoever shows it ---
    enum class LinkState { Disconnected, Connecting, Dialling, Connected };
    LinkState linkState() const { return linkState_; }
    bool terminalMode() const { return terminalMode_; }
    void setTerminalMode(bool on);

    // --- The modem ---
    // On the open serial port: dials PhoneNumber and waits for the modem's word. True only on
    // "SUCCESS"; otherwise modemFailure() holds the word.
    QCoro::Task<bool> dial();
    // Waits for a recognised modem word in the received text: "SUCCESS", an error word or
    // "NO ANSWER".
    QCoro::Task<QString> WaitForConnect();
    // The word the last dial failed with; empty after a successful one or before any.
    const QString& modemFailure() const { return modemFailure_; }

    // --- Terminal mode keys ---
    // Queues typed keys; each goes out as one whole keystroke frame, in order. False when
    // another operation holds the board or terminal mode is off (the keys are then dropped).
    bool sendKeys(const QByteArray& keys);

  signals:
    // Received text: one character appended, or text appended by a line break.
    void textAppended(const QString& text);
    void textCleared();
    void connectionChanged(bool connected);
    void busyChanged(bool busy);
    // Any change of linkState(), busy() or terminalMode().
    void stateChanged();
    // A text for the status line.
    void statusMessage(const QString& text);
    // The serial device went away under an open connection; the session is disconnected.
    void lineLost(const QString& reason);
    // After each received character: the response box follows the end in terminal view.
    void characterHandled();

  private:
    // Suspends until the next tick, character, transfer end, stop or shut-down.
    struct NextEvent {
        BoardSession& s;
        bool await_ready() const noexcept { return s.shutDown_; }
        void await_suspend(std::coroutine_handle<> h) { s.waiters_.push_back(h); }
        void await_resume() const noexcept {}
    };
    NextEvent nextEvent() { return NextEvent{*this}; }
    // Resumes every suspended wait, which looks at its condition again.
    void wake();
    void setLinkState(LinkState state);
    // Runs `job` on the USB thread; false when the session shut down first (the job then
    // finishes there unseen).
    QCoro::Task<bool> onUsbThread(std::function<void(UsbLibrary&)> job);
    QCoro::Task<bool> openSerial();
    QCoro::Task<bool> openUsb();
    bool writeSerialPlain(const QByteArray& frame);
    QCoro::Task<bool> writeMultiDrop(QByteArray frame, int32_t length);
    QCoro::Task<bool> writeUsb(QByteArray frame, int32_t length);
    void refuse(const QString& reason);
    void interpret(char c);
    void onBreak();
    // The device went away under an open connection (serial or USB): one message, the
    // session disconnected, the running operation stopped.
    void onLineLost(const QString& reason);
    // A USB status that is a fault ends the connection; false for such a status.
    bool usbOk(int32_t status);
    void onTick();
    void finishOperation();
    void appendText(const QString& text);

    Services services_;
    LinkOptions options_;
    QString text_;
    QString refusal_;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    QTimer* realTimer_ = nullptr;
    // USB transfers run on a thread of their own; an operation suspends until each is done.
    UsbWorker* usbWorker_ = nullptr;
    bool busy_ = false;
    bool stopRequested_ = false;
    bool shutDown_ = false;
    bool keysRunning_ = false;
    bool wakePending_ = false;
    LinkState linkState_ = LinkState::Disconnected;
    bool terminalMode_ = false;
    std::vector<std::coroutine_handle<>> waiters_;
    QString modemFailure_;
    std::deque<char> keys_;
};

}  // namespace tarvo
