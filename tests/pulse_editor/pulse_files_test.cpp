#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "pulse_editor/frm_set_pulses.h"
#include "shell/cd_file.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using Click = std::function<void(FrmSetPulses&)>;

struct PulseFilesSetup {
    WindowFixture f;
    QTemporaryDir dir;
    FrmSetPulses* p = nullptr;

    PulseFilesSetup() {
        f.w().Command3->click();
        p = f.w().pulseWindow();
        // Game n: on/off times 25 + n and 40, offsets 30 and 7, odd games drive a hopper.
        for (int n = 0; n < 6; ++n) {
            for (auto* box : {p->TxtPulse1On[n], p->TxtPulse2On[n], p->txtHopperOn[n]}) {
                box->setText(QString::number(25 + n));
            }
            for (auto* box : {p->TxtPulse1OFF[n], p->TxtPulse2Off[n], p->TxtHopperOff[n]}) {
                box->setText("40");
            }
            p->TxtOffset[n]->setText("30");
            p->TxtOffset2[n]->setText("7");
            p->CmbHopper[n]->setCurrentIndex(n % 2);
        }
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList values() const {
        QStringList out;
        for (int n = 0; n < 6; ++n) {
            out << p->Frame1[n]->title() << p->Frame1[n]->accessibleName();
            for (auto* box :
                 {p->TxtPulse1On[n], p->TxtPulse1OFF[n], p->TxtOffset[n], p->TxtOffset2[n],
                  p->TxtPulse2On[n], p->TxtPulse2Off[n], p->txtHopperOn[n], p->TxtHopperOff[n]}) {
                out << box->text();
            }
            out << QString::number(p->CmbHopper[n]->currentIndex());
        }
        return out;
    }
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const Click saveTemplate = [](FrmSetPulses& p) { p.CmdSave->click(); };
const Click loadTemplate = [](FrmSetPulses& p) { p.CmdLoad->click(); };
const Click createBix = [](FrmSetPulses& p) { p.CmdCreateBix->click(); };
Click saveGame(int n) {
    return [n](FrmSetPulses& p) { p.CmdSaveGame[n]->click(); };
}
Click loadGame(int n) {
    return [n](FrmSetPulses& p) { p.CmdLoadGame[n]->click(); };
}

// Each button asks with its own title and filter; cancelling changes nothing and writes nothing.
TEST(PulseFiles, DialogsHaveTheirTitlesAndFiltersAndCancelDoesNothing) {
    struct Case {
        Click click;
        const char *title, *filter;
        bool save;
        const char* initialName;
    };
    const Case cases[] = {
        {loadTemplate, "Open Game File", "Game Set (*.set)|*.set|All files (*.*)|*.*", false, ""},
        {saveTemplate, "Save Template File", "Game set (*.set)|*.set|All files (*.*)|*.*", true,
         ""},
        {loadGame(2), "Open Game File", "Game Type (*.gam)|*.gam|All files (*.*)|*.*", false, ""},
        {saveGame(2), "Save Game File", "Game Type (*.gam)|*.gam|All files (*.*)|*.*", true, ""},
        {createBix, "Create Bix File", "Bix File (K7731_*.bix)|K7731_*.bix|All files (*.*)|*.*",
         true, "K7731_"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        PulseFilesSetup s;
        const QStringList before = s.values();
        s.f.files->cancel();
        c.click(*s.p);
        ASSERT_EQ(s.f.files->requests.size(), 1u);
        const FileRequest& request = s.f.files->requests.back();
        EXPECT_EQ(request.title, c.title);
        EXPECT_EQ(s.f.w().cdFile().Filter, c.filter);
        EXPECT_EQ(request.save, c.save);
        EXPECT_EQ(request.initialName, c.initialName);
        EXPECT_EQ(request.owner, s.p);
        EXPECT_EQ(s.values(), before);
        EXPECT_TRUE(QDir(s.dir.path()).isEmpty());
        EXPECT_TRUE(s.f.prompts->messages.empty());
    }
}

TEST(PulseFiles, SavedNamesGetTheirExtensionAndBixFilesTheirPrefix) {
    struct Case {
        Click click;
        const char *typed, *written;
    };
    const Case cases[] = {
        {saveGame(0), "pulse", "pulse.gam"},         {saveGame(0), "pulse.GAM", "pulse.GAM.gam"},
        {saveGame(0), "pulse.gam", "pulse.gam"},     {saveTemplate, "std", "std.set"},
        {createBix, "tank", "K7731_tank.bix"},       {createBix, "tank.bix", "K7731_tank.bix"},
        {createBix, "K7731_tank", "K7731_tank.bix"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        PulseFilesSetup s;
        s.f.files->answer(s.path(c.typed));
        c.click(*s.p);
        EXPECT_EQ(QDir(s.dir.path()).entryList(QDir::Files), QStringList{c.written});
        EXPECT_TRUE(s.f.prompts->messages.empty());
    }
}

TEST(PulseFiles, ACompletedNameOfAnExistingFileIsReplacedOnlyWhenConfirmed) {
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        PulseFilesSetup s;
        write(s.path("pulse.gam"), "old");
        s.f.prompts->answers = {answer};
        s.f.files->answer(s.path("pulse"));
        s.p->CmdSaveGame[1]->click();
        ASSERT_EQ(s.f.prompts->messages.size(), 1u);
        EXPECT_EQ(s.f.prompts->messages[0].buttons, MsgButtons::YesNo);
        EXPECT_TRUE(s.f.prompts->messages[0].text.contains(s.path("pulse.gam")));
        EXPECT_EQ(contents(s.path("pulse.gam")) == "old", answer == MsgAnswer::No);
    }
}

TEST(PulseFiles, AGameSavedFromOneFrameLoadsIntoAnotherWithTheFileInItsCaption) {
    PulseFilesSetup s;
    s.f.files->answer(s.path("two"));
    s.p->CmdSaveGame[1]->click();
    EXPECT_EQ(contents(s.path("two.gam")),
              "26\r\n40\r\n26\r\n40\r\n30\r\n7\r\n26\r\n40\r\n 1 \r\n");
    s.p->TxtOffset2[1]->setText("9");
    s.f.files->answer(s.path("two.gam"));
    s.p->CmdLoadGame[4]->click();
    const GamePulseSetting loaded = s.p->game(4);
    GamePulseSetting expected = s.p->game(1);
    expected.TxtOffset2 = "7";
    EXPECT_EQ(loaded, expected);
    const QString caption = "GAME # 5 - " + s.path("two.gam");
    EXPECT_EQ(s.p->Frame1[4]->title(), caption);
    EXPECT_EQ(s.p->Frame1[4]->accessibleName(), caption);
    EXPECT_EQ(s.p->Frame1[1]->title(), "GAME #2");
    EXPECT_TRUE(s.f.prompts->messages.empty());
}

TEST(PulseFiles, ATemplateBringsBackEveryGame) {
    PulseFilesSetup s;
    const PulseGames saved = s.p->games();
    s.f.files->answer(s.path("all"));
    s.p->CmdSave->click();
    for (int n = 0; n < 6; ++n) {
        s.p->TxtPulse1On[n]->setText("1");
        s.p->CmbHopper[n]->setCurrentIndex(-1);
    }
    s.f.files->answer(s.path("all.set"));
    s.p->CmdLoad->click();
    EXPECT_EQ(s.p->games(), saved);
    for (int n = 0; n < 6; ++n) {
        EXPECT_EQ(s.p->Frame1[n]->title(),
                  QStringLiteral("GAME # %1 - ").arg(n + 1) + s.path("all.set"));
    }
}

// Whatever the file, a load that cannot be used says so once and the window keeps every value.
TEST(PulseFiles, AFileThatCannotBeLoadedKeepsEveryValue) {
    QByteArray binary;
    for (int i = 0; i < 600; ++i) {
        binary += char(i * 37);
    }
    QByteArray fine;
    for (int i = 0; i < 54; ++i) {
        fine += "1\r\n";
    }
    struct Case {
        const char* name;
        std::optional<QByteArray> bytes;  // nothing: no such file
        Click click;
    };
    const Case cases[] = {
        {"missing.set", std::nullopt, loadTemplate},
        {"binary.set", binary, loadTemplate},
        {"huge.set", fine.repeated(20000), loadTemplate},
        {"short.set", fine.left(30), loadTemplate},
        {"empty.gam", QByteArray(), loadGame(3)},
        {"huge.gam", fine.repeated(2000), loadGame(3)},
        {"folder.gam", std::nullopt, loadGame(3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PulseFilesSetup s;
        const QString path = s.path(c.name);
        if (c.bytes) {
            write(path, *c.bytes);
        } else if (QString(c.name).startsWith("folder")) {
            QDir(s.dir.path()).mkdir(c.name);
        }
        const QStringList before = s.values();
        s.f.files->answer(path);
        c.click(*s.p);
        EXPECT_EQ(s.values(), before);
        ASSERT_EQ(s.f.prompts->messages.size(), 1u);
        EXPECT_EQ(s.f.prompts->messages[0].title, "ERROR ON LOADING");
    }
}

TEST(PulseFiles, AFailedSaveSaysWhereAndWhy) {
    PulseFilesSetup s;
    const QString path = s.path("no such folder/pulse.set");
    s.f.files->answer(path);
    s.p->CmdSave->click();
    ASSERT_EQ(s.f.prompts->messages.size(), 1u);
    EXPECT_TRUE(s.f.prompts->messages[0].text.contains(path));
    EXPECT_EQ(s.f.prompts->messages[0].icon, MsgIcon::Critical);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(PulseFiles, ABixFileIsWrittenOnlyWhenEveryValueFits) {
    PulseFilesSetup s;
    s.f.files->answer(s.path("tank"));
    s.p->CmdCreateBix->click();
    const QByteArray bix = contents(s.path("K7731_tank.bix"));
    EXPECT_EQ(bix.size(), 54);
    EXPECT_EQ(bix.left(6).toHex(' '), "0c 0d 0e 0e 0e 0f");
    EXPECT_EQ(bix.right(6).toHex(' '), "00 01 00 01 00 01");

    for (const auto& change :
         std::vector<Click>{[](FrmSetPulses& p) { p.CmbHopper[2]->setCurrentIndex(-1); },
                            [](FrmSetPulses& p) { p.TxtOffset[5]->setText("511"); },
                            [](FrmSetPulses& p) { p.TxtOffset[5]->setText("-2"); }}) {
        PulseFilesSetup refused;
        change(*refused.p);
        refused.f.files->answer(refused.path("tank"));
        refused.p->CmdCreateBix->click();
        EXPECT_EQ(refused.f.prompts->messages.size(), 1u);
        EXPECT_TRUE(QDir(refused.dir.path()).isEmpty());
    }
}

}  // namespace
}  // namespace tarvo::test
