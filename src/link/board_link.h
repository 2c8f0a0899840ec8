#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "core/frames.h"

namespace tarvo {

class RetreiveAccountingApp;

// Opening, writing and closing the one interface to the board (serial, multi-drop serial,
// USB), and the single road every command takes to it.
class BoardLink {
  public:
    explicit BoardLink(RetreiveAccountingApp& w);

    // 1 when the interface is open and the session command went out, else 0.
    int32_t OpenTarvoBoard();
    int32_t WriteToTarvoBoard(const QByteArray& frame, int32_t length);
    int32_t CloseTarvoBoard();
    void RealTimeDelay(int32_t milliseconds);
    void RealTimer_Timer();

    // Hands one frame to the transport, or says "PLEASE CONNECT FIRST" and drops it.
    void SendToTarvoBoard(const QByteArray& frame);
    // The target prefix (while the Brisko target is chosen) and then the command's pieces.
    void sendCommand(const frames::Command& command);
    // Only the target prefix of `command`, for handlers that change ExpectReply between the
    // prefix and the command.
    void sendPrefixFor(const frames::Command& command);
    void sendPieces(const frames::Command& command);

    // True, after showing the "ILLEGAL COMMAND" box with `message`, when "Multi Drop" is
    // chosen and the address reads as 0: the caller then sends nothing.
    bool refusesAddressZero(const QString& message);

  private:
    bool openSerial();
    bool openUsb();
    void writeSerialPlain(const QByteArray& frame);
    void writeMultiDrop(const QByteArray& frame, int32_t length);
    void writeUsb(const QByteArray& frame, int32_t length);

    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
