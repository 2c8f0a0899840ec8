#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// umockdev's types, declared as its header does; the header itself clashes with Qt's keywords.
typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlData UMockdevIoctlData;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace tarvo::sim {

// A board on a USB bus emulated by umockdev, which stands in for the kernel's usbfs: the
// real libusb runs every transfer against it. The caller queues what it answers and when it
// goes away; the handler runs on umockdev's own thread. Needs the process to run under
// umockdev-wrapper.
class UsbfsBoard {
  public:
    using Clock = std::chrono::steady_clock;

    // Plugs a board with `product` id at device number `devnum` into `bed`; error() says
    // what failed.
    UsbfsBoard(UMockdevTestbed* bed, int product, int devnum);
    ~UsbfsBoard();
    UsbfsBoard(const UsbfsBoard&) = delete;
    UsbfsBoard& operator=(const UsbfsBoard&) = delete;

    QString error() const { return error_; }
    // One IN transfer's worth, due `afterMs` from now; empty: the endpoint stalls.
    void reply(const QByteArray& bytes, int afterMs = 0);
    void unplugAfter(int ms);
    void refuseClaim() { refuseClaim_ = true; }
    void stallWrites() { stallWrites_ = true; }
    // Holds every OUT transfer unanswered (a board that stopped taking data).
    void holdWrites() { holdWrites_ = true; }
    QByteArray written();
    const QString& node() const { return node_; }

  private:
    struct Reply {
        Clock::time_point at;
        QByteArray bytes;
    };
    struct Urb {
        UMockdevIoctlData* data;  // the client's struct usbdevfs_urb, its buffer resolved
        UMockdevIoctlData* buffer;
    };

    friend struct IoctlHandler;
    bool gone() const { return Clock::now() >= goneAt_; }
    void finish(Urb u, int status, const QByteArray& in = {});
    void progress();
    bool handle(UMockdevIoctlClient* client);

    UMockdevTestbed* bed_;
    QString node_;
    QString sysfs_;
    QString error_;
    UMockdevIoctlBase* handler_ = nullptr;
    std::mutex mutex_;
    std::deque<Reply> replies_;
    std::deque<Urb> submitted_;
    std::deque<UMockdevIoctlData*> done_;
    QByteArray written_;
    Clock::time_point goneAt_ = Clock::time_point::max();
    bool refuseClaim_ = false;
    bool stallWrites_ = false;
    bool holdWrites_ = false;
};

// The emulated bus: boards plugged in stay until it goes. Plug them before libusb starts,
// which lists the bus once.
class UsbfsBus {
  public:
    UsbfsBus();
    ~UsbfsBus();
    UsbfsBus(const UsbfsBus&) = delete;
    UsbfsBus& operator=(const UsbfsBus&) = delete;

    UsbfsBoard& plug(int product);

  private:
    UMockdevTestbed* bed_;
    std::vector<std::unique_ptr<UsbfsBoard>> boards_;
};

}  // namespace tarvo::sim
