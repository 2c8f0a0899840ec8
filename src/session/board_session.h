#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

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
    const LinkOptions& options() const { return options_; }
    // The interface, target and address in force for the next open and every frame.
    void setOptions(const LinkOptions& options) { options_ = options; }

    // --- The received text ---
    // What the board sent since the last clear, as the response box shows it.
    const QString& text() const { return text_; }
    void clearText();

    // --- The link ---
    // 1 when the interface is open and the session command went out, else 0.
    int32_t OpenTarvoBoard();
    // 1 when the transport took the frame, 0 when it refused it (the reason is then in
    // lastRefusal() and was reported as a status message).
    int32_t WriteToTarvoBoard(const QByteArray& frame, int32_t length);
    int32_t CloseTarvoBoard();
    void RealTimeDelay(int32_t milliseconds);
    // Hands one frame to the transport, or says "PLEASE CONNECT FIRST" and drops it. False
    // when the frame did not go out.
    bool SendToTarvoBoard(const QByteArray& frame);
    // The target prefix (while the Brisko target is chosen) and then the command's pieces.
    bool sendCommand(const frames::Command& command);
    // Only the target prefix, for operations that change ExpectReply between the prefix and
    // the command.
    bool sendPrefixFor(const frames::Command& command);
    bool sendPieces(const frames::Command& command);
    // True, after the "ILLEGAL COMMAND" box with `message`, when "Multi Drop" is chosen and
    // the address reads as 0: the caller then sends nothing.
    bool refusesAddressZero(const QString& message);
    // Why the transport last refused a frame; empty when the running operation had none.
    const QString& lastRefusal() const { return refusal_; }

    // A character from the serial line, and one read from USB (which yields once afterwards).
    void MSComm1_OnComm(char c);
    void ParseDataInWindow(char c);

    // --- Waits ---
    // Sleeps in the event loop until `done` holds. False when the running operation was
    // stopped or the session is shutting down: the caller then returns at once.
    bool waitUntil(const std::function<bool()>& done);
    // Waits until TickCount, set to 0 first, reaches `ticks`.
    bool waitTicks(int ticks);
    // True once the running operation was asked to stop, or the session shuts down.
    bool stopping() const { return stopRequested_ || shutDown_; }
    bool shuttingDown() const { return shutDown_; }
    // Ends every wait for good: the owner is closing.
    void shutDown();

    // --- One operation at a time ---
    class Operation {
      public:
        Operation() = default;
        Operation(Operation&& other) noexcept;
        Operation& operator=(Operation&&) = delete;
        ~Operation();
        explicit operator bool() const { return session_ != nullptr; }

      private:
        friend class BoardSession;
        explicit Operation(BoardSession* session) : session_(session) {}
        BoardSession* session_ = nullptr;
    };
    // The right to use the board until the returned value goes; an empty value, touching
    // nothing, while another operation runs.
    [[nodiscard]] Operation begin();
    bool busy() const { return busy_; }
    // Ends the waits of the running operation; the next operation starts afresh.
    void requestStop();

    // --- The modem ---
    // On the open serial port: dials PhoneNumber and waits for the modem's word. True only on
    // "SUCCESS"; otherwise modemFailure() holds the word.
    bool dial();
    // Waits for a recognised modem word in the received text: "SUCCESS", an error word or
    // "NO ANSWER".
    QString WaitForConnect();
    // The word the last dial failed with; empty after a successful one or before any.
    const QString& modemFailure() const { return modemFailure_; }

    // --- Terminal mode keys ---
    // Queues typed keys; each goes out as one whole keystroke frame, in order. False when
    // another operation holds the board (the keys are then dropped).
    bool sendKeys(const QByteArray& keys);

  signals:
    // Received text: one character appended, or text appended by a line break.
    void textAppended(const QString& text);
    void textCleared();
    void connectionChanged(bool connected);
    void busyChanged(bool busy);
    // A text for the status line.
    void statusMessage(const QString& text);
    // The serial device went away under an open connection; the session is disconnected.
    void lineLost(const QString& reason);
    // After each received character: the response box follows the end in terminal view.
    void characterHandled();

  private:
    bool openSerial();
    bool openUsb();
    bool writeSerialPlain(const QByteArray& frame);
    bool writeMultiDrop(const QByteArray& frame, int32_t length);
    bool writeUsb(const QByteArray& frame, int32_t length);
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
    // USB transfers run on a thread of their own; the session waits for them in the event loop.
    UsbWorker* usbWorker_ = nullptr;
    bool busy_ = false;
    bool stopRequested_ = false;
    bool shutDown_ = false;
    QString modemFailure_;
    std::deque<char> keys_;
};

}  // namespace tarvo
