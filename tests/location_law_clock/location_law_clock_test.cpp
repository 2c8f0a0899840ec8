#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <span>

#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using App = RetreiveAccountingApp;

void setLines(std::span<QLineEdit* const> boxes, const QStringList& texts) {
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setText(texts.value(static_cast<qsizetype>(i)));
    }
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Over USB every piece is one transfer, so the table shows where each piece ends. Behind a
// Brisko system the command starts with `prefix` ("": refused, nothing is sent) and "|nn"
// stands for the law's second prefix with the code nn.
TEST(LocationLawClock, SendsThePiecesWithPrefixesOnlyForBrisko) {
    auto send = [](bool law, QStringList lines) {
        return [=](App& w) {
            setLines(law ? std::span<QLineEdit* const>(w.TxtLawInfo) : w.txtLocationInfo, lines);
            (law ? w.ButtonSendLawInfo : w.ButtonSendLocationInfo)->click();
        };
    };
    const QString l124(124, 'x');
    const QByteArray x124 = QByteArray(124, 'x').toHex() + "0d";
    struct Case {
        std::function<void(App&)> act;
        QByteArray plain, prefix;
    };
    const Case cases[] = {
        {send(false, {"  Bar \u00e9  ", "", "", "\t"}), "1d 54 48 42617220e90d 0d 0d 090d",
         "1d54500d"},
        {send(true, {"a", " bb ", "", "ccc", "5"}),
         "1d 54 4c 610d 62620d 0d 6363630d |05 350d 0d 0d 0d", "1d54500d"},
        {send(false, {l124, l124}), "1d 54 48 " + x124 + " " + x124 + " 0d 0d", "1d5450ff"},
        {send(false, {l124, l124 + "y"}), "1d 54 48 " + x124 + " " + x124.left(248) + "790d 0d 0d",
         ""},
        {send(true, {"", "", "", "", l124, l124, "yyyy"}),
         "1d 54 4c 0d 0d 0d 0d |00 " + x124 + " " + x124 + " 797979790d 0d", ""},
        {[](App& w) {
             int readings = 0;  // a second reading would be a second later, in another year
             w.platform().clock = [=]() mutable {
                 return QDateTime({2026, 12, 31}, {23, 59, 59}).addSecs(readings++);
             };
             w.ButtonSendTimeAndDate->click();
         },
         "1d 54 54 3233 3539 3132 3331 3236", "1d54500d"},
    };
    for (const Case& c : cases) {
        for (bool brisko : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << c.plain.left(40).data() << (brisko ? " brisko" : ""));
            WindowFixture f;
            (brisko ? f.w().Option1 : f.w().Option2)->click();
            ASSERT_TRUE(f.idle());
            f.chooseInterface(App::kUsbPosition);
            ASSERT_TRUE(f.connect());
            c.act(f.w());
            ASSERT_TRUE(f.idle());
            const bool refused = brisko && c.prefix.isEmpty();
            std::vector<QByteArray> expected;
            for (QByteArray word : ((brisko ? c.prefix + " " : "") + c.plain).split(' ')) {
                if (brisko || !word.startsWith('|')) {
                    expected.push_back(QByteArray::fromHex(word.replace('|', "1d5450")));
                }
            }
            EXPECT_EQ(f.usbFrames(), refused ? std::vector<QByteArray>{} : expected);
            EXPECT_EQ(f.prompts->messages.size(), refused ? 1u : 0u);
            EXPECT_EQ(f.w().SystemMessage->text().endsWith("Sent"), !refused);
        }
    }
}

// Each line is its own multi-drop frame, whose length byte allows 254 characters and the CR.
TEST(LocationLawClock, MultiDropRefusesALineLongerThanOneFrame) {
    for (const int length : {254, 255}) {
        WindowFixture f;
        f.w().Option4->click();
        ASSERT_TRUE(f.idle());
        f.w().MultiDropAddress->setCurrentIndex(3);
        ASSERT_TRUE(f.connect());
        f.w().TxtLawInfo[6]->setText(QString(length, 'z'));
        f.w().ButtonSendLawInfo->click();
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(f.prompts->messages.size(), length == 255 ? 1u : 0u) << length;
        EXPECT_EQ(f.serial->sentBytes().contains(QByteArray(254, 'z')), length == 254);
    }
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
    ASSERT_TRUE(f.idle());
    QFile saved(d + "rules.Law");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(),
              "  one  \r\n\r\nth\xE9"
              "e\r\n\r\n\r\nsix\r\n\r\neight\r\n");
    setLines(w.TxtLawInfo, {});
    f.files->answer(d + "rules.Law");
    w.LoadLocationInfo[2]->click();
    ASSERT_TRUE(f.idle());
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.TxtLawInfo[i]->text(), law[i]);
    }
    EXPECT_EQ(f.files->requests[0].title, "Save File");
    EXPECT_EQ(f.files->requests[1].title, "Open File");
    EXPECT_EQ(f.files->requests[1].nameFilters,
              QStringList({"Law files (*.law)", "All files (*)"}));
    // A name ending in the extension in other letters is kept; a short file fills what it has.
    setLines(w.txtLocationInfo, {"a", "b"});
    f.files->answer(d + "x.LOC");
    w.LoadLocationInfo[1]->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(f.files->requests.back().nameFilters[0], "Location files (*.loc)");
    ASSERT_TRUE(QFile::exists(d + "x.LOC"));
    ASSERT_TRUE(writeFile(d + "short.loc", "only\r\n"));
    f.files->answer(d + "short.loc");
    w.LoadLocationInfo[0]->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(w.txtLocationInfo[0]->text(), "only");
    EXPECT_EQ(w.txtLocationInfo[1]->text(), "");
    EXPECT_TRUE(f.prompts->messages.empty());
}

TEST(LocationLawFiles, WhatCannotBeReadOrWrittenIsSaidAndChangesNothing) {
    QTemporaryDir dir;
    const QString binary = dir.path() + "/bin.loc";
    ASSERT_TRUE(writeFile(binary, QByteArray::fromHex("7f454c460201010000")));
    const std::pair<int, QString> cases[] = {{0, binary},
                                             {0, dir.path() + "/missing.loc"},
                                             {0, dir.path()},
                                             {1, dir.path() + "/no such folder/site"}};
    for (const auto& [button, path] : cases) {
        SCOPED_TRACE(path.toStdString());
        WindowFixture f;
        f.w().txtLocationInfo[0]->setText("kept");
        f.files->answer(path);
        f.w().LoadLocationInfo[button]->click();
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(f.w().txtLocationInfo[0]->text(), "kept");
        ASSERT_EQ(f.prompts->messages.size(), 1u);
        EXPECT_TRUE(f.prompts->messages[0].text.contains(path));
    }
}

// The dialog asks about the name as typed; a name the program completed asks here, and
// only a Yes replaces the file. Location and law files share this path.
TEST(LocationLawFiles, ACompletedNameAsksBeforeReplacing) {
    const std::optional<MsgAnswer> answers[] = {MsgAnswer::No, MsgAnswer::Yes, std::nullopt};
    for (const std::optional<MsgAnswer>& answer : answers) {
        SCOPED_TRACE(answer ? int(*answer) : -1);
        QTemporaryDir dir;
        const QString file = dir.path() + "/site1.Loc";
        WindowFixture f;
        if (answer) {  // none: no file there, no question expected
            ASSERT_TRUE(writeFile(file, "old\r\n"));
            f.prompts->answers.push_back(*answer);
        }
        f.w().txtLocationInfo[0]->setText("new");
        f.files->answer(dir.path() + "/site1");
        f.w().LoadLocationInfo[1]->click();
        ASSERT_TRUE(f.idle());
        const FakePrompts::Message question{file + " already exists.\nDo you want to replace it?",
                                            MsgButtons::YesNo, MsgIcon::Exclamation, "Save File"};
        EXPECT_EQ(f.prompts->messages,
                  answer ? std::vector{question} : std::vector<FakePrompts::Message>{});
        QFile saved(file);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_EQ(saved.readAll().startsWith("new"), answer != MsgAnswer::No);
    }
}

}  // namespace
}  // namespace tarvo::test
