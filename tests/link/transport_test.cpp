#include <gtest/gtest.h>

#include "core/frames.h"
#include "session/board_session.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

const QString kMark = QStringLiteral("9600,M,8,1");
const QString kSpace = QStringLiteral("9600,S,8,1");

TEST(MultiDrop, EachFrameGoesOutAsAddressLengthAndData) {
    const QByteArray frames[] = {QByteArray("\x05"), frames::coinIn(0).joined(),
                                 QByteArray("\x1D\x54\x41\x00\x00", 5)};
    for (const QByteArray& frame : frames) {
        WindowFixture f([](MemorySettingsStore& s) {
            s.preset("Options", "Cashless", "True");
            s.preset("Options", "MultiDropAddress", "5");
            s.preset("Options", "RTAddressBitDelay", "1");
        });
        ASSERT_TRUE(f.w().Option4->isChecked());
        ASSERT_TRUE(f.connect());
        const size_t eventsBefore = f.serial->events.size();
        f.w().session().SendToTarvoBoard(frame);
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
        const int address = f.serial->indexOfEvent("byte 05", int(eventsBefore));
        const int drain = f.serial->indexOfEvent("drain", address);
        const int toSpace = f.serial->indexOfEvent("settings " + kSpace, address);
        ASSERT_GE(address, 0);
        ASSERT_GE(drain, 0);
        EXPECT_LT(drain, toSpace);
        EXPECT_EQ(f.serial->settings(), kSpace);
    }
}

TEST(MultiDrop, AnAddressThatIsNoWholeNumberIsNeverSent) {
    struct Case {
        QString text;
        bool message;
    } cases[] = {{"", true},   {"abc", true}, {"256", true},
                 {"5x", true}, {"-1", true},  {"2.5", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        WindowFixture f([](MemorySettingsStore& s) { s.preset("Options", "Cashless", "True"); });
        ASSERT_TRUE(f.connect());
        f.w().MultiDropAddress->setEditText(c.text);
        f.w().SystemMessage->clear();
        f.w().session().SendToTarvoBoard(QByteArray("\x05"));
        EXPECT_TRUE(f.serial->sent.empty());
        EXPECT_EQ(f.w().SystemMessage->text().isEmpty(), !c.message);
    }
}

TEST(MultiDrop, TheOpenUsesSpaceParityOnlyWithAnAddress) {
    for (const QString& address : {QStringLiteral(" 7"), QString()}) {
        WindowFixture f([](MemorySettingsStore& s) { s.preset("Options", "Cashless", "True"); });
        f.w().MultiDropAddress->setEditText(address);
        f.w().Connect->click();
        const QStringList events = f.serial->eventTexts();
        const int open = events.indexOf("open 1");
        ASSERT_GT(open, 0);
        EXPECT_EQ(events[open - 1],
                  "settings " + (address.isEmpty() ? QStringLiteral("9600,N,8,1") : kSpace));
        // The session command is addressed like every frame, or dropped without an address.
        EXPECT_EQ(f.serial->sentBytes().toHex(' '),
                  address.isEmpty() ? QByteArray() : QByteArray("07 03 1d 45 01"));
        EXPECT_EQ(f.w().session().Connected, 1);
    }
}

TEST(Usb, TheFirstPresentProductInScanOrderIsOpened) {
    struct Case {
        std::set<int32_t> present;
        int32_t opened;  // 0: none
    } cases[] = {
        {{0x4002, 0x2000}, 0x4002}, {{0x2000}, 0x2000}, {{0x4000, 0x4002}, 0x4000}, {{}, 0}};
    for (const auto& c : cases) {
        WindowFixture f;
        f.usb->present = c.present;
        f.w().Option3->setChecked(true);
        f.w().COMInterface->setCurrentIndex(RetreiveAccountingApp::kUsbPosition);
        f.w().Connect->click();
        int32_t opened = 0;
        for (const auto& call : f.usb->calls) {
            if (call.name == "USB_Open") {
                opened = call.args[1];
                EXPECT_EQ(call.args[0], 0x0F0F);
                EXPECT_EQ(call.args[2], 0);
            }
        }
        EXPECT_EQ(opened, c.opened);
        EXPECT_EQ(f.w().session().Connected, c.opened ? 1 : 0);
        EXPECT_EQ(f.serial->openCount, 0);
    }
}

TEST(Usb, RepliesArePolledOnlyWhileExpected) {
    WindowFixture f;
    f.w().Option3->setChecked(true);
    f.chooseInterface(RetreiveAccountingApp::kUsbPosition);
    ASSERT_TRUE(f.connect());
    auto& w = f.w();

    w.session().ExpectReply = false;
    f.usb->pushReply("ignored");
    w.session().SendToTarvoBoard(QByteArray("\x05"));
    EXPECT_EQ(f.usb->callNames(), QStringList{"USB_Write"});

    // A buffer starting with 3 passes characters 2 to 4 on; the rest of it is not data.
    f.usb->calls.clear();
    f.usb->reads.clear();
    // A read whose first 64 characters are blank means nothing arrived.
    f.usb->reads = {"\003abcXYZ", "\002de", QByteArray(64, ' ') + "never", "\001z"};
    w.ResponseWindow->clearText();
    w.session().ExpectReply = true;
    w.session().SendToTarvoBoard(QByteArray("\x1D\x54\x6C"));
    EXPECT_EQ(w.ResponseWindow->text(), QStringLiteral("abcde"));
    EXPECT_EQ(f.usb->callNames(), (QStringList{"USB_Write", "USB_Read", "USB_Read", "USB_Read"}));
    for (const auto& call : f.usb->calls) {
        if (call.name == "USB_Read") {
            EXPECT_EQ(call.args[1], 1000);
            EXPECT_EQ(call.args[2], 500);
        }
    }
}

}  // namespace
}  // namespace tarvo::test
