#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "core/frames.h"
#include "session/board_operations.h"
#include "session/stored_choices.h"
#include "support/memory_settings_store.h"
#include "support/session_fixture.h"

// One operation at a time, each a unit: its own link, whole commands, bounded waits.
namespace tarvo::test {
namespace {

const QString kMark = QStringLiteral("9600,M,8,1");

// The frames of a multi-drop line, address and data, as the board reads them.
std::vector<QByteArray> multiDropFrames(const FakeSerialLine& line) {
    std::vector<QByteArray> frames;
    for (size_t i = 0; i < line.sent.size();) {
        EXPECT_EQ(line.sent[i].settings, kMark) << "a data byte where an address belongs";
        const size_t length = i + 1 < line.sent.size() ? line.sent[i + 1].byte : 0;
        QByteArray frame;
        for (size_t k = i + 2; k < i + 2 + length && k < line.sent.size(); ++k) {
            frame += static_cast<char>(line.sent[k].byte);
        }
        frames.push_back(frame);
        i += 2 + length;
    }
    return frames;
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
        EXPECT_EQ(f.session.options().multiDropAddress, " 1");
        done(board::sendLaw(f.session, {"a", "b", "c", "d", "e", "f", "g", "h"}));
    }
    ASSERT_FALSE(f.serial->sent.empty());
    for (const auto& byte : f.serial->sent) {
        if (byte.settings == kMark) {
            EXPECT_EQ(byte.byte, 1);
        }
    }
}

// A stop seeded at every frame of a multi-drop pulse write and law text lands between two
// commands: the board sees each command whole or not at all, and the close after them.
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
        for (size_t stopAt = 1; stopAt <= c.frames; ++stopAt) {
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
            const auto sent = multiDropFrames(*f.serial);
            ASSERT_FALSE(sent.empty());
            EXPECT_EQ(sent.back(), frames::closeSession());
            EXPECT_EQ(sent.size() - 1, c.frames);
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
// within a second; a larger stored delay is taken as that one. A shut-down ends the pause
// at once, and the frame still leaves whole.
TEST(AddressPause, IsBoundedAndEndsWithTheSession) {
    for (const auto& [stored, taken] : std::vector<std::pair<QString, int>>{
             {"5", 5}, {"31", 31}, {"32", 31}, {"100", 31}, {"1000", 31}, {"-1", 5}}) {
        MemorySettingsStore store;
        store.setValue("Options", "RTAddressBitDelay", stored);
        EXPECT_EQ(readStoredChoices(store).addressBitDelay, taken) << stored.toStdString();
    }
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
    LinkOptions usb;
    usb.interfacePosition = LinkOptions::kUsbPosition;
    usb.target = Target::Kit;
    SessionFixture f(usb);
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
