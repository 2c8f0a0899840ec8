#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "pulse_test_support.h"
#include "shell/cd_file.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using Click = std::function<void(FrmSetPulses&)>;

// A window whose game n has on times 25 + n, off times 40, offsets 30 and 7, and a hopper on
// the odd games; files go to a fresh folder.
struct FilesWindow {
    WindowFixture f;
    QTemporaryDir dir;
    FrmSetPulses& p = openPulses(f);
    FilesWindow() {
        fillPulses(p, [](int k, int n) {
            const int values[] = {25 + n, 40, 25 + n, 40, 25 + n, 40, 30, 7, n % 2};
            return values[k];
        });
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }
    QByteArray contents(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }
    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

const Click loadTemplate = [](FrmSetPulses& p) { p.CmdLoad->click(); };
const Click saveTemplate = [](FrmSetPulses& p) { p.CmdSave->click(); };
const Click createBix = [](FrmSetPulses& p) { p.CmdCreateBix->click(); };
const Click loadGame3 = [](FrmSetPulses& p) { p.CmdLoadGame[3]->click(); };
const Click saveGame3 = [](FrmSetPulses& p) { p.CmdSaveGame[3]->click(); };

TEST(PulseFiles, EachDialogHasItsTitleAndFilterAndCancelDoesNothing) {
    struct Case {
        Click click;
        const char *title, *filter;
        bool save;
        const char* initialName;
    } const cases[] = {
        {loadTemplate, "Open Game File", "Game Set (*.set)|*.set|All files (*.*)|*.*", false, ""},
        {saveTemplate, "Save Template File", "Game set (*.set)|*.set|All files (*.*)|*.*", true,
         ""},
        {loadGame3, "Open Game File", "Game Type (*.gam)|*.gam|All files (*.*)|*.*", false, ""},
        {saveGame3, "Save Game File", "Game Type (*.gam)|*.gam|All files (*.*)|*.*", true, ""},
        {createBix, "Create Bix File", "Bix File (K7731_*.bix)|K7731_*.bix|All files (*.*)|*.*",
         true, "K7731_"}};
    for (const Case& c : cases) {
        FilesWindow s;
        const QStringList before = pulseState(s.p);
        s.f.files->cancel();
        c.click(s.p);
        ASSERT_EQ(s.f.files->requests.size(), 1u) << c.title;
        const FileRequest& request = s.f.files->requests.back();
        EXPECT_EQ(request.title, c.title);
        EXPECT_EQ(s.f.w().cdFile().Filter, c.filter);
        EXPECT_EQ(request.save, c.save) << c.title;
        EXPECT_EQ(request.initialName, c.initialName);
        EXPECT_EQ(request.owner, &s.p);
        EXPECT_EQ(pulseState(s.p), before);
        EXPECT_TRUE(s.files().isEmpty() && s.f.prompts->messages.empty()) << c.title;
    }
}

TEST(PulseFiles, ACompletedNameOfAnExistingFileIsReplacedOnlyWhenConfirmed) {
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        FilesWindow s;
        s.write("pulse.gam", "old");
        s.f.prompts->answers = {answer};
        s.f.files->answer(s.path("pulse"));
        saveGame3(s.p);
        ASSERT_EQ(s.f.prompts->messages.size(), 1u);
        EXPECT_TRUE(s.f.prompts->messages[0].text.contains(s.path("pulse.gam")));
        EXPECT_EQ(s.contents("pulse.gam") == "old", answer == MsgAnswer::No);
    }
}

TEST(PulseFiles, SavedGamesAndTemplatesLoadBackWithTheFileInTheCaption) {
    FilesWindow s;
    s.f.files->answer(s.path("two"));
    s.p.CmdSaveGame[1]->click();
    s.f.files->answer(s.path("two.gam"));
    s.p.CmdLoadGame[4]->click();
    EXPECT_EQ(s.p.game(4), s.p.game(1));
    const QString caption = "GAME # 5 - " + s.path("two.gam");
    EXPECT_EQ(s.p.Frame1[4]->title(), caption);
    EXPECT_EQ(s.p.Frame1[4]->accessibleName(), caption);

    const PulseGames saved = s.p.games();
    s.f.files->answer(s.path("all"));
    saveTemplate(s.p);
    fillPulses(s.p, [](int k, int) { return k == 8 ? -1 : 1; });
    s.f.files->answer(s.path("all.set"));
    loadTemplate(s.p);
    EXPECT_EQ(s.p.games(), saved);
    EXPECT_EQ(s.p.Frame1[5]->title(), "GAME # 6 - " + s.path("all.set"));
    EXPECT_TRUE(s.f.prompts->messages.empty());
}

// A load that cannot be used says so once, and the window keeps every value and caption.
TEST(PulseFiles, AFileThatCannotBeLoadedKeepsEveryValue) {
    const QByteArray lines = QByteArray("1\r\n").repeated(54);
    const std::tuple<const char*, std::optional<QByteArray>, Click> cases[] = {
        {"missing.set", std::nullopt, loadTemplate},
        {"huge.set", lines.repeated(20000), loadTemplate},
        {"short.set", lines.left(30), loadTemplate},
        {"huge.gam", lines.repeated(2000), loadGame3},
        {"folder.gam", std::nullopt, loadGame3}};
    for (const auto& [name, bytes, click] : cases) {
        FilesWindow s;
        if (bytes) {
            s.write(name, *bytes);
        } else if (QString(name).startsWith("folder")) {
            QDir(s.dir.path()).mkdir(name);
        }
        const QStringList before = pulseState(s.p);
        s.f.files->answer(s.path(name));
        click(s.p);
        EXPECT_EQ(pulseState(s.p), before) << name;
        EXPECT_EQ(s.f.prompts->messages.size(), 1u) << name;
    }
}

TEST(PulseFiles, AFailedSaveSaysWhereAndWhy) {
    FilesWindow s;
    const QString path = s.path("no such folder/pulse.set");
    s.f.files->answer(path);
    saveTemplate(s.p);
    ASSERT_EQ(s.f.prompts->messages.size(), 1u);
    EXPECT_TRUE(s.f.prompts->messages[0].text.contains(path));
    EXPECT_EQ(s.f.prompts->messages[0].icon, MsgIcon::Critical);
}

TEST(PulseFiles, ABixFileIsWrittenOnlyWhenEveryValueFits) {
    FilesWindow s;
    s.f.files->answer(s.path("tank"));
    createBix(s.p);
    const QByteArray bix = s.contents("K7731_tank.bix");
    EXPECT_EQ(bix.size(), 54);
    EXPECT_EQ(bix.left(6).toHex(' '), "0c 0d 0e 0e 0e 0f");
    EXPECT_EQ(bix.right(6).toHex(' '), "00 01 00 01 00 01");

    FilesWindow refused;
    refused.p.CmbHopper[2]->setCurrentIndex(-1);
    refused.f.files->answer(refused.path("tank"));
    createBix(refused.p);
    EXPECT_EQ(refused.f.prompts->messages.size(), 1u);
    EXPECT_TRUE(refused.files().isEmpty());
}

}  // namespace
}  // namespace tarvo::test
