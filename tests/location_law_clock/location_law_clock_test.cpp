#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "location_law_clock/location_law_clock.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using App = RetreiveAccountingApp;
using Frames = std::vector<QByteArray>;

// Frames written as hex, one frame per word; "" is no frame at all.
Frames frames(const QByteArray& spaced) {
    Frames out;
    for (const QByteArray& word : spaced.split(' ')) {
        if (!word.isEmpty()) {
            out.push_back(QByteArray::fromHex(word));
        }
    }
    return out;
}

void setLines(std::span<QLineEdit* const> boxes, const QStringList& texts) {
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setText(texts.value(static_cast<qsizetype>(i)));
    }
}

// Over USB every piece is one transfer, so the table shows where each piece ends.
TEST(LocationLawClock, SendsThePiecesWithPrefixesOnlyForBrisko) {
    struct Case {
        const char* name;
        std::function<void(App&)> act;
        QByteArray plain, brisko;
    };
    const QString l124(124, 'x');
    auto location = [](QStringList lines) {
        return [=](App& w) {
            setLines(w.txtLocationInfo, lines);
            w.ButtonSendLocationInfo->click();
        };
    };
    auto law = [](QStringList lines) {
        return [=](App& w) {
            setLines(w.TxtLawInfo, lines);
            w.ButtonSendLawInfo->click();
        };
    };
    auto clock = [](QDateTime first) {
        return [=](App& w) {
            // A second reading would already be in the next year.
            int readings = 0;
            w.platform().clock = [=]() mutable {
                return readings++ == 0 ? first : first.addSecs(1);
            };
            w.ButtonSendTimeAndDate->click();
        };
    };
    const QByteArray x124 = QByteArray(124, 'x').toHex();
    const Case cases[] = {
        {"empty location", location({}), "1d 54 48 0d 0d 0d 0d", "1d545007 1d 54 48 0d 0d 0d 0d"},
        {"blanks and accents", location({"  Bar \u00e9  ", "", "", "\t"}),
         "1d 54 48 42617220e90d 0d 0d 090d", "1d54500d 1d 54 48 42617220e90d 0d 0d 090d"},
        {"law", law({"a", " bb ", "", "ccc", "5"}),
         "1d 54 4c 610d 62620d 0d 6363630d 350d 0d 0d 0d",
         "1d54500d 1d 54 4c 610d 62620d 0d 6363630d 1d545005 350d 0d 0d 0d"},
        {"location of 248", location({l124, l124}), "1d 54 48 " + x124 + "0d " + x124 + "0d 0d 0d",
         "1d5450ff 1d 54 48 " + x124 + "0d " + x124 + "0d 0d 0d"},
        {"location of 249", location({l124, l124 + "y"}),
         "1d 54 48 " + x124 + "0d " + x124 + "790d 0d 0d", ""},
        {"law 5 to 8 of 252", law({"", "", "", "", l124, l124, "yyyy"}),
         "1d 54 4c 0d 0d 0d 0d " + x124 + "0d " + x124 + "0d 797979790d 0d", ""},
        {"09:05 7 March 2026", clock({{2026, 3, 7}, {9, 5}}), "1d 54 54 30 39 3035 3033 3037 3236",
         "1d54500d 1d 54 54 30 39 3035 3033 3037 3236"},
        {"21:40", clock({{2026, 3, 7}, {21, 40}}), "1d 54 54 3231 3430 3033 3037 3236",
         "1d54500d 1d 54 54 3231 3430 3033 3037 3236"},
        {"just before midnight", clock({{2026, 12, 31}, {23, 59, 59, 999}}),
         "1d 54 54 3233 3539 3132 3331 3236", "1d54500d 1d 54 54 3233 3539 3132 3331 3236"},
    };
    for (const Case& c : cases) {
        for (bool brisko : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (brisko ? " brisko" : ""));
            WindowFixture f;
            (brisko ? f.w().Option1 : f.w().Option2)->click();
            f.chooseInterface(App::kUsbPosition);
            ASSERT_TRUE(f.connect());
            c.act(f.w());
            const QByteArray& expected = brisko ? c.brisko : c.plain;
            EXPECT_EQ(f.usbFrames(), frames(expected));
            // A refusal says why and leaves no success message.
            EXPECT_EQ(f.prompts->messages.size(), expected.isEmpty() ? 1u : 0u);
            EXPECT_EQ(f.w().SystemMessage->text().endsWith("Sent"), !expected.isEmpty());
        }
    }
}

// A reply that arrives while the text goes out stays after the location button and is gone
// after the law button, which empties the box last; unconnected, only the refusal shows.
TEST(LocationLawClock, ButtonsEmptyTheReplyInTheirOwnOrder) {
    WindowFixture f;
    FakeSerialLine* line = f.serial.get();
    line->onWrite = [line](const QByteArray&) {
        line->receive(line->sentBytes().size() == 1 ? "R" : "");
    };
    f.w().locationLawClock().ButtonSendLawInfo_Click();  // the button itself is disabled
    EXPECT_EQ(f.w().SystemMessage->text(), "PLEASE CONNECT FIRST");
    ASSERT_TRUE(f.connect());
    f.w().ButtonSendLocationInfo->click();
    EXPECT_EQ(f.w().ResponseWindow->text(), "R");
    EXPECT_EQ(f.w().SystemMessage->text(), "Location Information Sent");
    f.forgetSent();
    f.w().ButtonSendLawInfo->click();
    EXPECT_EQ(f.w().ResponseWindow->text(), "");
    EXPECT_EQ(f.w().SystemMessage->text(), "Law Information Sent");
}

TEST(LocationLawFiles, SaveAndLoadBothWays) {
    QTemporaryDir dir;
    const QString d = dir.path() + "/";
    WindowFixture f;
    App& w = f.w();
    const QStringList law = {"  one  ", "", "th\u00e9e", "", "", "six", "", "eight"};
    setLines(w.TxtLawInfo, law);
    f.files->answer(d + "rules");
    w.LoadLocationInfo[3]->click();
    QFile saved(d + "rules.Law");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(),
              "  one  \r\n\r\nth\xE9"
              "e\r\n\r\n\r\nsix\r\n\r\neight\r\n");
    setLines(w.TxtLawInfo, {});
    f.files->answer(d + "rules.Law");
    w.LoadLocationInfo[2]->click();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.TxtLawInfo[i]->text(), law[i]);
    }
    EXPECT_EQ(f.files->requests[0].title, "Save File");
    EXPECT_EQ(f.files->requests[1].title, "Open File");
    EXPECT_EQ(f.files->requests[1].nameFilters,
              QStringList({"Law files (*.law)", "All files (*)"}));

    // A name that already ends in the extension in other letters is kept; a short file fills
    // what it has.
    setLines(w.txtLocationInfo, {"a", "b"});
    f.files->answer(d + "x.LOC");
    w.LoadLocationInfo[1]->click();
    EXPECT_EQ(f.files->requests.back().nameFilters[0], "Location files (*.loc)");
    ASSERT_TRUE(QFile::exists(d + "x.LOC"));
    QFile shortFile(d + "short.loc");
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write("only\r\n");
    shortFile.close();
    f.files->answer(d + "short.loc");
    w.LoadLocationInfo[0]->click();
    EXPECT_EQ(w.txtLocationInfo[0]->text(), "only");
    EXPECT_EQ(w.txtLocationInfo[1]->text(), "");
    EXPECT_TRUE(f.prompts->messages.empty());
}

TEST(LocationLawFiles, WhatCannotBeReadOrWrittenIsSaidAndChangesNothing) {
    QTemporaryDir dir;
    QFile binary(dir.path() + "/bin.loc");
    ASSERT_TRUE(binary.open(QIODevice::WriteOnly));
    binary.write(
        QByteArray("\x7f"
                   "ELF\x02\x01\x01\0\0",
                   9));
    binary.close();
    const std::pair<int, QString> cases[] = {{0, binary.fileName()},
                                             {0, dir.path() + "/missing.loc"},
                                             {0, dir.path()},
                                             {1, dir.path() + "/no such folder/site"}};
    for (const auto& [button, path] : cases) {
        SCOPED_TRACE(path.toStdString());
        WindowFixture f;
        f.w().txtLocationInfo[0]->setText("kept");
        f.files->answer(path);
        f.w().LoadLocationInfo[button]->click();
        EXPECT_EQ(f.w().txtLocationInfo[0]->text(), "kept");
        ASSERT_EQ(f.prompts->messages.size(), 1u);
        EXPECT_TRUE(f.prompts->messages[0].text.contains(path))
            << f.prompts->messages[0].text.toStdString();
    }
}

}  // namespace
}  // namespace tarvo::test
