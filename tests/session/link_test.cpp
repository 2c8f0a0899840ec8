#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <set>

#include "core/frames.h"
#include "session/board_operations.h"
#include "support/session_fixture.h"

// The link of the board session on the recording doubles: every byte with the line settings
// it went out with, what USB is asked, and what the board's text does.
namespace tarvo::test {
namespace {

const QString kMark = QStringLiteral("9600,M,8,1");
const QString kSpace = QStringLiteral("9600,S,8,1");

LinkOptions usbKit() {
    LinkOptions usb;
    usb.interfacePosition = LinkOptions::kUsbPosition;
    usb.target = Target::Kit;
    return usb;
}

TEST(MultiDrop, EachFrameGoesOutAsAddressLengthAndData) {
    const QByteArray frames[] = {QByteArray("\x05"), frames::coinIn(0).joined(),
                                 QByteArray("\x1D\x54\x41\x00\x00", 5)};
    for (const QByteArray& frame : frames) {
        SessionFixture f(multiDropAt(" 5"));
        f.session.AddressBitDelay = 1;
        ASSERT_TRUE(f.connect());
        EXPECT_TRUE(done(f.session.SendToTarvoBoard(frame)));
        const auto& sent = f.serial->sent;
        ASSERT_EQ(sent.size(), static_cast<size_t>(frame.size() + 2));
        EXPECT_EQ(sent[0].byte, 0x05);
        EXPECT_EQ(sent[0].settings, kMark);
        EXPECT_EQ(sent[1].byte, frame.size());
        for (size_t i = 1; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].settings, kSpace) << i;
            if (i >= 2) {
                EXPECT_EQ(sent[i].byte, static_cast<unsigned char>(frame[int(i) - 2])) << i;
            }
        }
        // The address byte has left the line before the parity changes.
        const int address = f.serial->indexOfEvent("byte 05");
        const int drain = f.serial->indexOfEvent("drain", address);
        const int toSpace = f.serial->indexOfEvent("settings " + kSpace, address);
        ASSERT_GE(address, 0);
        ASSERT_GE(drain, 0);
        EXPECT_LT(drain, toSpace);
        EXPECT_EQ(f.serial->settings(), kSpace);
    }
}

// A refusal is said on the status line and reported to the caller; nothing reaches the line.
TEST(MultiDrop, AnAddressThatIsNoWholeNumberOrAFrameTooLongIsNeverSent) {
    struct Case {
        QString address;
        QByteArray frame;
        QString status;
    } cases[] = {
        {"", "\x05", "INVALID MULTI DROP ADDRESS"},
        {"abc", "\x05", "INVALID MULTI DROP ADDRESS"},
        {"256", "\x05", "INVALID MULTI DROP ADDRESS"},
        {"5x", "\x05", "INVALID MULTI DROP ADDRESS"},
        {"-1", "\x05", "INVALID MULTI DROP ADDRESS"},
        {"2.5", "\x05", "INVALID MULTI DROP ADDRESS"},
        {" 5", QByteArray(256, 'x'), "FRAME TOO LONG FOR MULTI DROP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        SessionFixture f(multiDropAt(c.address));
        ASSERT_TRUE(f.connect());
        QStringList status;
        QObject::connect(&f.session, &BoardSession::statusMessage,
                         [&status](const QString& s) { status << s; });
        EXPECT_FALSE(done(f.session.SendToTarvoBoard(c.frame)));
        EXPECT_TRUE(f.serial->sent.empty());
        EXPECT_EQ(status, QStringList{c.status});
        EXPECT_EQ(f.session.lastRefusal(), c.status);
    }
}

TEST(MultiDrop, TheOpenUsesSpaceParityOnlyWithAnAddress) {
    for (const QString& address : {QStringLiteral(" 7"), QString()}) {
        SessionFixture f(multiDropAt(address));
        auto op = f.begin();
        done(board::connect(f.session));
        const QStringList events = f.serial->eventTexts();
        const int open = events.indexOf("open 1");
        ASSERT_GT(open, 0);
        EXPECT_EQ(events[open - 1],
                  "settings " + (address.isEmpty() ? QStringLiteral("9600,N,8,1") : kSpace));
        // The session command is addressed like every frame, or refused without an address.
        EXPECT_EQ(f.serial->sentBytes().toHex(' '),
                  address.isEmpty() ? QByteArray() : QByteArray("07 03 1d 45 01"));
        EXPECT_EQ(f.session.Connected, 1);
    }
}

// None, or one that cannot be opened, is no connection and says why.
TEST(Usb, TheFirstPresentProductInScanOrderIsOpened) {
    struct Case {
        std::set<int32_t> present;
        int32_t opened;  // 0: none
        QString openError, failure;
    } cases[] = {
        {{0x4002, 0x2000}, 0x4002},
        {{0x2000}, 0x2000},
        {{0x4000, 0x4002}, 0x4000},
        {{}, 0, "", "No Tarvo Board found on USB"},
        {{0x4000}, 0x4000, "denied", "The Tarvo Board on USB could not be opened: denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure.toStdString());
        SessionFixture f(usbKit());
        f.usb->present = c.present;
        f.usb->openError = c.openError;
        auto op = f.begin();
        const board::ConnectResult result = done(board::connect(f.session));
        int32_t opened = 0;
        for (const auto& call : f.usb->calls) {
            if (call.name == "USB_Open") {
                opened = call.args[1];
                EXPECT_EQ(call.args[0], 0x0F0F);
                EXPECT_EQ(call.args[2], 0);
            }
        }
        EXPECT_EQ(opened, c.opened);
        EXPECT_EQ(result.connected, c.failure.isEmpty());
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_EQ(f.session.Connected, c.failure.isEmpty() ? 1 : 0);
        EXPECT_EQ(f.usb->callNames().contains("USB_Write"), c.failure.isEmpty());
        EXPECT_EQ(f.serial->openCount, 0);
    }
}

TEST(Usb, RepliesArePolledOnlyWhileExpected) {
    SessionFixture f(usbKit());
    ASSERT_TRUE(f.connect());
    BoardSession& s = f.session;

    s.ExpectReply = false;
    f.usb->pushReply("ignored");
    done(s.SendToTarvoBoard(QByteArray("\x05")));
    EXPECT_EQ(f.usb->callNames(), QStringList{"USB_Write"});

    // A buffer starting with 3 passes characters 2 to 4 on; the rest of it is not data.
    f.usb->calls.clear();
    // A read whose first 64 characters are blank means nothing arrived.
    f.usb->reads = {"\003abcXYZ", "\002de", QByteArray(64, ' ') + "never", "\001z"};
    s.clearText();
    s.ExpectReply = true;
    done(s.SendToTarvoBoard(QByteArray("\x1D\x54\x6C")));
    EXPECT_EQ(s.text(), QStringLiteral("abcde"));
    EXPECT_EQ(f.usb->callNames(), (QStringList{"USB_Write", "USB_Read", "USB_Read", "USB_Read"}));
    for (const auto& call : f.usb->calls) {
        if (call.name == "USB_Read") {
            EXPECT_EQ(call.args[1], 1000);
            EXPECT_EQ(call.args[2], 500);
        }
    }
}

TEST(ReceivedText, BoardTextBecomesTextAndStatus) {
    struct Case {
        const char* name;
        QByteArray input;
        QString text;
        QStringList status;
    } cases[] = {
        {"line ends", QByteArray("AB\r\nC\n"), "AB\r\nC\r\n", {}},
        {"lone CR", QByteArray("\r"), "", {}},
        {"status field",
         QByteArray("x\x1B/\x07\x01x\x01\n"),
         "x\r\n",
         {"Counting pulses on  1 |", "Counting pulses on  3 /"}},
        {"six positions empty the text", QByteArray("old\x1B/\x07......\n"), "\r\n", {}},
        {"dropped bytes", QByteArray("a\x80\x13\x14z"), QString("a") + QChar(0x14) + "z", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture f;
        QStringList status;
        QObject::connect(&f.session, &BoardSession::statusMessage,
                         [&status](const QString& s) { status << s; });
        const int before = f.session.RxCount;
        f.serial->receive(c.input);
        EXPECT_EQ(f.session.text(), c.text);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(f.session.RxCount, before + c.input.size());
    }
}

TEST(Ticks, TwoTimersAdvanceTheCountAndItWrapsAfter32000) {
    SessionFixture f;
    f.session.TickCount = 31999;
    ASSERT_TRUE(done(f.session.waitUntil([&] { return f.session.TickCount <= 100; })));
    // 31999 -> 32000 -> 0: never above 32000.
    EXPECT_LE(f.session.TickCount, 2);
}

TEST(Break, IsReportedAndThePortReopenedOrTheLinkEnded) {
    for (const bool reopens : {true, false}) {
        SCOPED_TRACE(reopens);
        SessionFixture f;
        ASSERT_TRUE(f.connect());
        const int opens = f.serial->openCount;
        f.serial->failOpen = !reopens;
        f.serial->sendBreak();
        ASSERT_GE(f.prompts->messages.size(), 1u);
        const auto& m = f.prompts->messages[0];
        EXPECT_EQ(m.text, QStringLiteral("Received BREAK!!!"));
        EXPECT_EQ(m.title, QStringLiteral("Error in Communication..."));
        EXPECT_EQ(m.icon, MsgIcon::Exclamation);
        EXPECT_EQ(f.serial->openCount, opens + 1);
        EXPECT_EQ(f.serial->isOpen(), reopens);
        // A port that does not come back is a lost link, said once.
        EXPECT_EQ(f.session.Connected, reopens ? 1 : 0);
        EXPECT_EQ(f.prompts->messages.size(), reopens ? 1u : 2u);
    }
}

// The close-session frame gets what its bytes need at 9600 baud and two seconds more; a
// line whose other end stopped reading does not hold the disconnect for ever.
TEST(Disconnect, AStuckOutputBufferIsGivenUpAfterItsBound) {
    SessionFixture f;
    ASSERT_TRUE(f.connect());
    f.serial->pendingOut = 960;  // one second of bytes at 9600 baud
    QElapsedTimer clock;
    clock.start();
    done(board::disconnect(f.session));
    const qint64 took = clock.elapsed();
    EXPECT_GE(took, 2500);
    EXPECT_LT(took, 6000);
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(f.session.Connected, 0);
}

// A write or a read that fails because the board is gone, stalled or erred ends the
// connection once; nothing is reported as sent and later frames are refused.
TEST(Usb, AFaultEndsTheConnectionOnce) {
    struct Case {
        int32_t status;
        bool duringRead;
        const char* reason;
    } cases[] = {
        {UsbLibrary::kUsbNoDevice, false, "the USB board is gone"},
        {UsbLibrary::kUsbIoError, true, "USB input/output error"},
        {UsbLibrary::kUsbStall, true, "the USB board stalled the transfer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        SessionFixture f(usbKit());
        ASSERT_TRUE(f.connect());
        QStringList lost;
        QObject::connect(&f.session, &BoardSession::lineLost,
                         [&lost](const QString& why) { lost << why; });
        auto op = f.begin();
        if (c.duringRead) {
            FakeUsbLibrary* usb = f.usb.get();
            const int32_t status = c.status;
            usb->onWrite = [usb, status](const QByteArray&) { usb->fault = status; };
        } else {
            f.usb->fault = c.status;
        }
        f.session.ExpectReply = true;
        EXPECT_FALSE(done(f.session.SendToTarvoBoard(QByteArray("\x05"))));
        EXPECT_FALSE(done(f.session.SendToTarvoBoard(QByteArray("\x05"))));
        EXPECT_EQ(f.session.Connected, 0);
        EXPECT_EQ(f.session.UsbHandle, 0);
        EXPECT_EQ(lost, QStringList{c.reason});
        EXPECT_EQ(f.session.lastRefusal(), "PLEASE CONNECT FIRST");
        EXPECT_EQ(f.usb->callNames().count("USB_Write"), 1);
        // The gone device's handle is released on the USB thread.
        EXPECT_TRUE(QTest::qWaitFor([&] { return f.usb->callNames().count("USB_Close") == 1; }));
        ASSERT_EQ(f.prompts->messages.size(), 1u);
        EXPECT_TRUE(f.prompts->messages[0].text.contains(c.reason));
    }
}

}  // namespace
}  // namespace tarvo::test
