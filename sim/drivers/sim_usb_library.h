#pragma once

#include <QByteArray>
#include <QElapsedTimer>

#include "model/board_model.h"
#include "platform/usb_library.h"

namespace tarvo::sim {

// The USB contract over the simulated board, in process. Replies are kept until read;
// their delays do not apply, as a read takes whatever the board has sent so far.
class SimUsbLibrary : public tarvo::UsbLibrary {
  public:
    static constexpr int32_t kVersion = 214;
    static constexpr int32_t kHandle = 0x5A17;

    // `product`: 0x4000, 0x4002 or 0x2000; any other value makes a board no scan finds.
    explicit SimUsbLibrary(BoardModel& model, int32_t product = 0x4000);

    int32_t USB_Scan(int32_t vendor, int32_t product) override;
    int32_t USB_Open(int32_t vendor, int32_t product, int32_t reserved) override;
    int32_t USB_Write(int32_t handle, const QByteArray& data, int32_t count) override;
    int32_t USB_Read(int32_t handle, QByteArray& buffer, int32_t firstTimeoutMs,
                     int32_t nextTimeoutMs) override;
    int32_t USB_Close(int32_t handle) override;
    int32_t USB_GetVersion() override { return kVersion; }

    bool isOpen() const { return open_; }
    const QByteArray& pendingReply() const { return pending_; }
    int writes() const { return writes_; }

  private:
    BoardModel& model_;
    int32_t product_;
    bool open_ = false;
    int writes_ = 0;
    QByteArray pending_;
    QElapsedTimer clock_;
};

}  // namespace tarvo::sim
