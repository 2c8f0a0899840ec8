#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <set>

#include "core/frames.h"
#include "session/board_operations.h"
#include "session/stored_choices.h"
#include "support/session_fixture.h"

// The link of the board session on the recording doubles: every byte with the line settings
// it went out with, what USB is asked, and what the board's text does. One operation at a
// time, each a unit: its own link, whole commands, bounded waits.
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
        EXPECT_EQ(f.serial->sentBytes().toHex(' '),
                  ("\x05" + QByteArray(1, char(frame.size())) + frame).toHex(' '));
        const auto& sent = f.serial->sent;
        for (size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].settings, i == 0 ? kMark : kSpace) << i;
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
        // Which texts are addresses is the parser's test (Numeric in tests/core).
        {"", "\x05", "INVALID MULTI DROP ADDRESS"},
        {"5x", "\x05", "INVALID MULTI DROP ADDRESS"},
        {" 5", QByteArray(256, 'x'), "FRAME TOO LONG FOR MULTI DROP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        SessionFixture f(multiDropAt(c.address));
        ASSERT_TRUE(f.connect());
        EXPECT_FALSE(done(f.session.SendToTarvoBoard(c.frame)));
        EXPECT_TRUE(f.serial->sent.empty());
        EXPECT_EQ(f.statuses, QStringList{c.status});
        EXPECT_EQ(f.session.lastRefusal(), c.status);
    }
}

TEST(MultiDrop, TheOpenUsesSpaceParityOnlyWithAnAddress) {
    for (const QString& address : {QStringLiteral(" 7"), QString()}) {
        SessionFixture f(multiDropAt(address));
        auto op = f.begin();
        done(board::connect(f.session));
        const QStringList& events = f.serial->events;
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
        QString openError{}, failure{};
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
}

TEST(ReceivedText, BoardTextBecomesTextAndStatus) {
    struct Case {
        const char* name;
        QByteArray input;
        QString text;
        QStringList status;
    } cases[] = {
        {"line ends", QByteArray("AB\r\nC\n"), "AB\r\nC\r\n", {}},
        {"status field",
         QByteArray("x\x1B/\x07\x01x\x01\n"),
         "x\r\n",
         {"Counting pulses on  1 |", "Counting pulses on  3 /"}},
        {"six positions empty the text", QByteArray("old\x1B/\x07......\n"), "\r\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture f;
        f.serial->receive(c.input);
        EXPECT_EQ(f.session.text(), c.text);
        EXPECT_EQ(f.statuses, c.status);
        EXPECT_EQ(f.session.RxCount, c.input.size());  // every byte, shown or not
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
        EXPECT_EQ(f.prompts->messages[0],
                  (FakePrompts::Message{"Received BREAK!!!", MsgButtons::Ok, MsgIcon::Exclamation,
                                        "Error in Communication..."}));
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
// connection once; nothing is reported as sent and later frames are refused. (How the
// window shows a lost line is the refusal tests'.)
TEST(Usb, AFaultEndsTheConnectionOnce) {
    struct Case {
        int32_t status;
        bool duringRead;
        const char* reason;
    } cases[] = {
        {UsbLibrary::kUsbNoDevice, false, "the USB board is gone"},
        {UsbLibrary::kUsbIoError, true, "USB input/output error"},
        {UsbLibrary::kUsbStall, true, "the USB board stalled the transfer"},
        {UsbLibrary::kUsbStall, false, "the USB board stalled the transfer"},
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
            f.usb->onWrite = [&](const QByteArray&) { f.usb->fault = c.status; };
        } else {
            f.usb->fault = c.status;
        }
        // A write fault with no reply expected is told by the write alone.
        f.session.ExpectReply = c.duringRead;
        EXPECT_FALSE(done(f.session.SendToTarvoBoard(QByteArray("\x05"))));
        EXPECT_FALSE(done(f.session.SendToTarvoBoard(QByteArray("\x05"))));
        EXPECT_EQ(f.session.Connected, 0);
        EXPECT_EQ(f.session.UsbHandle, 0);
        EXPECT_EQ(lost, QStringList{c.reason});
        EXPECT_EQ(f.session.lastRefusal(), "PLEASE CONNECT FIRST");
        EXPECT_EQ(f.usb->callNames().count("USB_Write"), 1);
        EXPECT_EQ(f.usb->callNames().contains("USB_Read"), c.duringRead);
        // The gone device's handle is released on the USB thread.
        EXPECT_TRUE(QTest::qWaitFor([&] { return f.usb->callNames().count("USB_Close") == 1; }));
        ASSERT_EQ(f.prompts->messages.size(), 1u);
        EXPECT_TRUE(f.prompts->messages[0].text.contains(c.reason));
    }
}

TEST(OneOperation, ASecondOperationIsRefusedUntilTheFirstEnds) {
    SessionFixture f;
    ASSERT_TRUE(f.connect());
    std::vector<bool> busy;
    QObject::connect(&f.session, &BoardSession::busyChanged,
                     [&busy](bool b) { busy.push_back(b); });
    {
        auto first = f.begin();
        ASSERT_TRUE(first);
        EXPECT_FALSE(f.begin());
    }
    EXPECT_TRUE(f.begin());
    EXPECT_EQ(busy, (std::vector<bool>{true, false, true, false}));
}

// The link is read when an operation begins: what the controls choose later, and any link
// offered while connected, never readdresses a frame.
TEST(OneOperation, TheLinkIsTheOneInForceWhenItBegan) {
    SessionFixture f(multiDropAt(" 1"));
    f.session.AddressBitDelay = 1;
    ASSERT_TRUE(f.connect());
    {
        auto op = f.session.begin(multiDropAt(" 2"));
        done(board::sendLaw(f.session, {"a", "b", "c", "d", "e", "f", "g", "h"}));
    }
    ASSERT_FALSE(f.serial->sent.empty());
    for (const auto& byte : f.serial->sent) {
        if (byte.settings == kMark) {
            EXPECT_EQ(byte.byte, 1);
        }
    }
}

// A stop seeded at every frame of a multi-drop pulse write and law text lands after the
// command: the board sees the very bytes of a run without a stop, the close after them.
TEST(OneOperation, AStopAtAnyFrameLetsTheCommandOnTheWireFinish) {
    const std::vector<QByteArray> items(54, QByteArray("0100"));
    const QStringList law{"l1", "l2", "l3", "l4", "l5", "l6", "l7", "l8"};
    const auto pulse = frames::pulseWrite(items).pieces;
    const auto lawFirst = frames::lawInfoFirst(law).pieces;
    const auto lawSecond = frames::lawInfoSecond(law).pieces;
    struct Case {
        const char* name;
        std::function<QCoro::Task<bool>(BoardSession&)> send;
        size_t frames;  // of the one whole command
    } cases[] = {
        {"pulse write", [&](BoardSession& s) { return board::writePulses(s, items); },
         pulse.size()},
        {"law text", [&](BoardSession& s) { return board::sendLaw(s, law); },
         lawFirst.size() + lawSecond.size()},
    };
    for (const auto& c : cases) {
        QByteArray whole;  // stop at frame 0: none
        for (size_t stopAt = 0; stopAt <= c.frames; ++stopAt) {
            SCOPED_TRACE(testing::Message() << c.name << ", stop at frame " << stopAt);
            SessionFixture f(multiDropAt(" 1"));
            f.session.AddressBitDelay = 1;
            ASSERT_TRUE(f.connect());
            size_t addresses = 0;
            FakeSerialLine* line = f.serial.get();
            line->onWrite = [&](const QByteArray&) {
                if (line->settings() == kMark && ++addresses == stopAt) {
                    f.session.requestStop();  // while this frame waits after its address
                }
            };
            {
                auto op = f.begin();
                done(c.send(f.session));
            }
            done(board::disconnect(f.session));
            if (stopAt == 0) {
                whole = f.serial->sentBytes();
                ASSERT_TRUE(whole.endsWith(QByteArray::fromHex("01031d4500")));
            }
            EXPECT_EQ(f.serial->sentBytes().toHex(' '), whole.toHex(' '));
        }
    }
}

// A stop before a command's first frame sends nothing of it; the waits end at once.
TEST(OneOperation, AStopBeforeACommandSendsNothingOfIt) {
    SessionFixture f({}, 60'000);
    ASSERT_TRUE(f.connect());
    auto op = f.begin();
    QTimer::singleShot(0, &f.session, [&f] { f.session.requestStop(); });
    EXPECT_FALSE(done(f.session.waitTicks(1)));
    EXPECT_FALSE(done(f.session.sendCommand(frames::coinIn(0))));
    EXPECT_TRUE(f.serial->sent.empty());
}

// The pause after an address is delay x delay ms up to the largest delay whose pause is
// within a second (how a stored delay is read is the main window's start-up test). A
// shut-down ends the pause at once, and the frame still leaves whole.
TEST(AddressPause, IsBoundedAndEndsWithTheSession) {
    // Each tick of the pause falls between the address byte and the switch to the data's
    // parity (the last one resumes the frame before this test hears of it).
    struct Case {
        int delay, ticks;
        bool shutDown;
    } cases[] = {{3, 3, false}, {1000, kLargestAddressBitDelay, false}, {1000, 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.delay << (c.shutDown ? " shut down" : ""));
        SessionFixture f(multiDropAt(" 3"));
        ASSERT_TRUE(f.connect());
        f.session.AddressBitDelay = c.delay;  // 1000: as if set past the store's bound
        auto* timer = f.session.findChild<QTimer*>(QStringLiteral("RealTimer"));
        std::vector<size_t> ticks;  // events so far at each tick
        QObject::connect(timer, &QTimer::timeout, [&] {
            EXPECT_EQ(timer->interval(), std::min(c.delay, kLargestAddressBitDelay));
            ticks.push_back(f.serial->events.size());
            if (ticks.size() == 2 && c.shutDown) {
                f.session.shutDown();
            }
        });
        auto op = f.begin();
        EXPECT_TRUE(done(f.session.SendToTarvoBoard(QByteArray("\x05"))));
        EXPECT_EQ(static_cast<int>(ticks.size()), c.ticks);
        const int toSpace = f.serial->indexOfEvent("settings 9600,S,8,1", 1);
        for (size_t k = 0; k + 1 < ticks.size(); ++k) {
            EXPECT_LE(static_cast<int>(ticks[k]), toSpace);
        }
        EXPECT_EQ(f.serial->sentBytes().toHex(' '), QByteArray("03 01 05"));
        EXPECT_FALSE(timer->isActive());  // an idle session sleeps
    }
}

// A key typed while the frame of the key before waits after its address byte goes out after
// that frame, whole: address, length, key; address, length, key.
TEST(TerminalMode, AKeyTypedDuringTheAddressPauseWaitsForTheFrameBefore) {
    SessionFixture f(multiDropAt(" 7"));
    f.session.AddressBitDelay = 3;
    ASSERT_TRUE(f.connect());
    f.session.setTerminalMode(true);
    auto* timer = f.session.findChild<QTimer*>(QStringLiteral("RealTimer"));
    bool typed = false;
    bool otherRefused = false;
    QObject::connect(timer, &QTimer::timeout, [&] {
        if (!std::exchange(typed, true)) {
            EXPECT_TRUE(f.session.sendKeys("bc"));
            otherRefused = !f.begin();
        }
    });
    EXPECT_TRUE(f.session.sendKeys("a"));
    EXPECT_TRUE(f.session.sendKeys("x"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.session.busy(); }, 10'000));
    EXPECT_TRUE(otherRefused);
    EXPECT_EQ(f.serial->sentBytes().toHex(' '), QByteArray("07 01 61 07 01 78 07 01 62 07 01 63"));
}

// Over USB, a click while a reply is being read is refused: the reply is read whole by the
// operation that asked for it.
TEST(OneOperation, OverUsbAReplyIsReadWholeByItsOwnOperation) {
    SessionFixture f(usbKit());
    ASSERT_TRUE(f.connect());
    f.usb->reads = {"\003abc", "\003def"};
    bool secondRefused = false;
    QObject::connect(&f.session, &BoardSession::textAppended, [&](const QString& t) {
        if (t == "b") {
            secondRefused = !f.begin();
        }
    });
    auto op = f.begin();
    EXPECT_TRUE(done(board::viewLog(f.session)));
    EXPECT_TRUE(secondRefused);
    EXPECT_EQ(f.session.text(), "abcdef");
    EXPECT_EQ(f.usb->written(), frames::viewLog().joined());
}

// On a bus scan an address where nothing answers within a second is known as empty without
// the report's long wait (a minute of ticks here).
TEST(MeterReport, ASilentAddressIsKnownWithoutTheLongWait) {
    SessionFixture f(multiDropAt(" 9"), 60'000);
    f.session.AddressBitDelay = 0;
    ASSERT_TRUE(f.connect());
    auto op = f.begin();
    const board::MeterRead read =
        done(board::readMeterReport(f.session, false, board::ReportEnd::WholeAndQuiet));
    EXPECT_EQ(read.error, "no answer from the board");
}

}  // namespace
}  // namespace tarvo::test
