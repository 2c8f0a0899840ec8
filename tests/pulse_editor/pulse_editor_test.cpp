#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "pulse_editor/frm_set_pulses.h"
#include "shell/cd_file.h"
#include "support/board_harness.h"
#include "support/text_fit.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using PulseBoxes = FrmSetPulses::PerGame<QLineEdit> FrmSetPulses::*;

// The eight boxes in the board's block order.
const PulseBoxes kBlockBoxes[] = {&FrmSetPulses::TxtPulse1On, &FrmSetPulses::TxtPulse1OFF,
                                  &FrmSetPulses::txtHopperOn, &FrmSetPulses::TxtHopperOff,
                                  &FrmSetPulses::TxtPulse2On, &FrmSetPulses::TxtPulse2Off,
                                  &FrmSetPulses::TxtOffset,   &FrmSetPulses::TxtOffset2};

// Clicks "CONF I G" of a fixture's or harness's main window.
template <typename Fixture>
FrmSetPulses& openPulses(Fixture& f) {
    f.w().Command3->click();
    return *f.w().pulseWindow();
}

// Block k of game n holds value(k, n); block 8 is the hopper position.
void fillPulses(FrmSetPulses& p, const std::function<int(int, int)>& value) {
    for (int n = 0; n < 6; ++n) {
        for (int k = 0; k < 8; ++k) {
            (p.*kBlockBoxes[k])[n]->setText(QString::number(value(k, n)));
        }
        p.CmbHopper[n]->setCurrentIndex(value(8, n));
    }
}

// Every text, hopper position and caption of the window.
QStringList pulseState(const FrmSetPulses& p) {
    QStringList out;
    for (int n = 0; n < 6; ++n) {
        out << p.Frame1[n]->title() << QString::number(p.CmbHopper[n]->currentIndex());
        for (const PulseBoxes boxes : kBlockBoxes) {
            out << (p.*boxes)[n]->text();
        }
    }
    return out;
}

using Click = std::function<void(FrmSetPulses&)>;

// Block k of game n holds 100 + 10k + n, each value its own; the odd games use the hopper.
const auto distinct = [](int k, int n) { return k == 8 ? n % 2 : 100 + 10 * k + n; };

// A pulse window filled with the distinct values; files go to a fresh folder.
struct FilledWindow : WindowFixture {
    QTemporaryDir dir;
    FrmSetPulses& p = openPulses(*this);
    FilledWindow() { fillPulses(p, distinct); }
    QString path(const QString& name) const { return dir.filePath(name); }
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
        FilledWindow s;
        const QStringList before = pulseState(s.p);
        s.files->cancel();
        c.click(s.p);
        ASSERT_EQ(s.files->requests.size(), 1u) << c.title;
        const FileRequest& request = s.files->requests.back();
        EXPECT_EQ(request.title, c.title);
        EXPECT_EQ(s.w().cdFile().Filter, c.filter);
        EXPECT_EQ(request.save, c.save) << c.title;
        EXPECT_EQ(request.initialName, c.initialName);
        EXPECT_EQ(request.owner, &s.p);
        EXPECT_EQ(pulseState(s.p), before);
        EXPECT_TRUE(QDir(s.dir.path()).isEmpty() && s.prompts->messages.empty()) << c.title;
    }
}

TEST(PulseFiles, ACompletedNameOfAnExistingFileIsReplacedOnlyWhenConfirmed) {
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        FilledWindow s;
        s.write("pulse.gam", "old");
        s.prompts->answers = {answer};
        s.files->answer(s.path("pulse"));
        saveGame3(s.p);
        ASSERT_EQ(s.prompts->messages.size(), 1u);
        EXPECT_TRUE(s.prompts->messages[0].text.contains(s.path("pulse.gam")));
        EXPECT_EQ(s.contents("pulse.gam") == "old", answer == MsgAnswer::No);
    }
}

TEST(PulseFiles, SavedGamesAndTemplatesLoadBackWithTheFileInTheCaptionOrAFailureIsSaid) {
    FilledWindow s;
    s.files->answer(s.path("two"));
    s.p.CmdSaveGame[1]->click();
    s.files->answer(s.path("two.gam"));
    s.p.CmdLoadGame[4]->click();
    EXPECT_EQ(s.p.game(4), s.p.game(1));
    const QString caption = "GAME # 5 - " + s.path("two.gam");
    EXPECT_EQ(s.p.Frame1[4]->title(), caption);
    EXPECT_EQ(s.p.Frame1[4]->accessibleName(), caption);

    const PulseGames saved = s.p.games();
    s.files->answer(s.path("all"));
    saveTemplate(s.p);
    fillPulses(s.p, [](int k, int) { return k == 8 ? -1 : 1; });
    s.files->answer(s.path("all.set"));
    loadTemplate(s.p);
    EXPECT_EQ(s.p.games(), saved);
    EXPECT_EQ(s.p.Frame1[5]->title(), "GAME # 6 - " + s.path("all.set"));
    EXPECT_TRUE(s.prompts->messages.empty());

    // A save that fails says where and why.
    const QString path = s.path("no such folder/pulse.set");
    s.files->answer(path);
    saveTemplate(s.p);
    ASSERT_EQ(s.prompts->messages.size(), 1u);
    EXPECT_TRUE(s.prompts->messages[0].text.contains(path));
    EXPECT_EQ(s.prompts->messages[0].icon, MsgIcon::Critical);
}

// A load that cannot be used says so once, and the window keeps every value and caption.
TEST(PulseFiles, AFileThatCannotBeLoadedKeepsEveryValue) {
    const QByteArray lines = QByteArray("1\r\n").repeated(54);
    const std::tuple<const char*, std::optional<QByteArray>, Click> cases[] = {
        {"missing.set", std::nullopt, loadTemplate},
        {"huge.set", lines.repeated(20000), loadTemplate},
        {"huge.gam", lines.repeated(2000), loadGame3},
        {"folder.gam", std::nullopt, loadGame3}};
    for (const auto& [name, bytes, click] : cases) {
        FilledWindow s;
        if (bytes) {
            s.write(name, *bytes);
        } else if (QString(name).startsWith("folder")) {
            QDir(s.dir.path()).mkdir(name);
        }
        const QStringList before = pulseState(s.p);
        s.files->answer(s.path(name));
        click(s.p);
        EXPECT_EQ(pulseState(s.p), before) << name;
        EXPECT_EQ(s.prompts->messages.size(), 1u) << name;
    }
}

TEST(PulseFiles, ABixFileIsWrittenOnlyWhenEveryValueFits) {
    FilledWindow s;
    s.files->answer(s.path("tank"));
    createBix(s.p);
    const QByteArray bix = s.contents("K7731_tank.bix");
    EXPECT_EQ(bix.size(), 54);
    EXPECT_EQ(bix.left(6).toHex(' '), "32 32 33 34 34 34");  // halves to even
    EXPECT_EQ(bix.right(6).toHex(' '), "00 01 00 01 00 01");

    s.p.CmbHopper[2]->setCurrentIndex(-1);  // a game without a hopper choice makes no file
    createBix(s.p);
    EXPECT_EQ(s.prompts->messages.size(), 1u);
    EXPECT_EQ(s.files->requests.size(), 1u);  // not even a name is asked for
}

TEST(PulseWindow, OpensOnceBesideTheMainWindowWithEmptyGamesAndNamedControls) {
    WindowFixture f;
    FrmSetPulses& p = openPulses(f);
    EXPECT_EQ(&openPulses(f), &p);
    EXPECT_TRUE(p.isVisible() && f.w().isVisible() && !p.isModal() && !p.parentWidget());
    EXPECT_EQ(p.windowTitle(), "Configure Pulse Width");
    for (int n = 0; n < 6; ++n) {
        EXPECT_EQ(p.Frame1[n]->title(), QStringLiteral("GAME #%1").arg(n + 1));
        EXPECT_EQ(p.CmbHopper[n]->currentIndex(), -1);
        EXPECT_EQ(p.CmbHopper[n]->itemText(1), "Hopper");
        // Each list is read out with the label it is tied to.
        const auto labels = p.Frame1[n]->findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const QLabel* l) {
            return l->buddy() == p.CmbHopper[n] && l->text() == "Hopper /Cashout";
        })) << n;
    }
    const std::pair<const char*, const char*> cases[] = {
        {"TxtOffset2_3", "Mech Pulse #2 second offset, Game 4"},
        {"TxtPulse1OFF_3", "Mech Pulse #1 OFF, Game 4"},
        {"txtHopperOn_0", "Hopper /Cashout ON, Game 1"},
        {"CmbHopper_5", "Hopper /Cashout use, Game 6"},
        {"PicMechPulse2_3", "Mech Pulse #2 plot, Game 4"},
        {"CmdSaveGame_3", "Save game file, Game 4"},
        {"Frame1_3", "GAME #4"},
        {"CmdRedraw", "Re-Draw"}};
    for (const auto& [name, spoken] : cases) {
        const auto* widget = p.findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->accessibleName(), spoken);
    }
}

// The widest values the boxes take (fractions pass the write, a second offset up to 999),
// loaded from a template deep in a folder tree, at each font scale.
TEST(PulseWindow, EveryTextIsShownWholeWithTheWidestValuesAndALongPath) {
    atEachFontScale([](double) {
        FilledWindow s;
        QString name = QStringLiteral("Technician Files");
        while (s.path(name).size() < 110) {
            name += QStringLiteral("/Hall West");
        }
        ASSERT_TRUE(QDir(s.dir.path()).mkpath(name));
        name += QStringLiteral("/Pulses.set");
        const QByteArray game = QByteArray("502.5\r\n").repeated(5) + "999.5\r\n502.5\r\n502.5\r\n";
        s.write(name, (game + " 0 \r\n" + game + " 1 \r\n").repeated(3));
        const QString path = s.path(name);
        s.files->answer(path);
        loadTemplate(s.p);
        ASSERT_TRUE(s.idle());
        ASSERT_EQ(s.p.Frame1[5]->title(), "GAME # 6 - " + path);  // loaded
        // The grown frames reach the scroll area over a few posted layout passes.
        for (int pass = 0; pass < 3; ++pass) {
            QApplication::processEvents();
        }
        EXPECT_EQ(cutTexts(s.p).join('\n'), "");
        EXPECT_GE(s.p.PicMechPulse1[5]->contentsRect().width(), 640);
    });
}

// Tab goes game by game, row by row as the window shows them, then along the buttons.
TEST(PulseWindow, TabVisitsEveryControlInTheOrderShown) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());  // READ and WRITE, like every board command, need a board
    FrmSetPulses& p = openPulses(f);
    QStringList expected;
    for (int n = 0; n < 6; ++n) {
        for (const char* name : {"CmdLoadGame", "CmdSaveGame", "TxtPulse1On", "TxtPulse1OFF",
                                 "TxtOffset", "TxtOffset2", "TxtPulse2On", "TxtPulse2Off",
                                 "CmbHopper", "txtHopperOn", "TxtHopperOff"}) {
            expected << QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(n);
        }
    }
    expected += {"CmdRead", "CmdWrite", "CmdRedraw", "CmdCreateBix", "CmdLoad", "CmdSave"};
    QStringList visited;
    for (QWidget* w = p.nextInFocusChain(); w != &p; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&p) && w->isEnabled()) {
            visited << w->objectName();
        }
    }
    EXPECT_EQ(visited, expected);
}

TEST(PulseWindow, PlotDrawsTheTrainsInBlueAtTheirEdges) {
    FilledWindow f;
    FrmSetPulses& p = f.p;
    for (auto [boxes, text] : {std::pair{&FrmSetPulses::TxtPulse1On, "10"},
                               {&FrmSetPulses::TxtPulse1OFF, "40"},
                               {&FrmSetPulses::TxtOffset, "30"},
                               {&FrmSetPulses::TxtPulse2On, "7.5"},  // halves to even: 8
                               {&FrmSetPulses::TxtPulse2Off, "40"},
                               {&FrmSetPulses::txtHopperOn, "0"}}) {  // baseline only
        (p.*boxes)[0]->setText(text);
    }
    p.TxtPulse1On[1]->clear();  // nothing of game 2 is drawn
    struct Case {
        PulsePicture* picture;
        int x, y;
        bool blue;
    } const cases[] = {{p.PicMechPulse1[0], 0, 5, true},    {p.PicMechPulse1[0], 20, 15, true},
                       {p.PicMechPulse1[0], 25, 5, false},  {p.PicMechPulse1[0], 620, 15, true},
                       {p.PicMechPulse1[0], 621, 5, false}, {p.PicMechPulse2[0], 49, 15, false},
                       {p.PicMechPulse2[0], 50, 15, true},  {p.PicMechPulse2[0], 58, 15, true},
                       {p.PicMechPulse2[0], 59, 25, false}, {p.PicHopperPulse[0], 20, 5, true},
                       {p.PicHopperPulse[0], 21, 5, false}, {p.PicMechPulse1[1], 5, 5, false},
                       {p.PicHopperPulse[1], 5, 5, false}};
    for (const Case& c : cases) {
        const QImage image = c.picture->grab().toImage();
        const QPoint at = c.picture->contentsRect().topLeft() + QPoint(c.x, c.y);
        EXPECT_EQ(QColor(image.pixel(at)) == QColor(0, 0, 255), c.blue)
            << c.picture->objectName().toStdString() << " " << c.x << "," << c.y;
    }
}

// Filling the games from a reply is checked over the pseudo-terminal
// (EndToEndPulses.WrittenValuesReadBackUnchanged); without a reply nothing changes.
TEST(PulseRead, WithoutAReplyTheWindowKeepsItsValues) {
    FilledWindow f;
    ASSERT_TRUE(f.connect());
    const QStringList before = pulseState(f.p);
    f.p.CmdRead->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(f.serial->sentBytes(), QByteArray("\x1dTP\x03\x1dTr"));
    EXPECT_EQ(pulseState(f.p), before);
}

// Either window may be closed while READ waits: the read ends and the pulse window goes
// (with the main window too), without a message.
TEST(PulseRead, ClosingEitherWindowDuringTheWaitIsSafe) {
    for (const bool closeMain : {false, true}) {
        WindowFixture f(nullptr, 50);
        ASSERT_TRUE(f.connect());
        FrmSetPulses& p = openPulses(f);
        QPointer<FrmSetPulses> watch(&p);
        // Once the read command is out, the wait for its reply is under way.
        FakeSerialLine* line = f.serial.get();
        line->onWrite = [&, line](const QByteArray&) {
            if (line->sentBytes().endsWith("\x1DTr")) {
                QTimer::singleShot(0, &p, [&] { closeMain ? f.w().close() : p.close(); });
            }
        };
        p.CmdRead->click();
        ASSERT_TRUE(f.idle());
        ASSERT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); })) << closeMain;
        EXPECT_TRUE(f.prompts->messages.empty());
    }
}

TEST(PulseWrite, SendsThePrefixTwAndTheFiftyFourItemsEachOnItsOwn) {
    FilledWindow f;
    f.chooseInterface(RetreiveAccountingApp::kUsbPosition);
    ASSERT_TRUE(f.connect());
    f.p.TxtPulse1On[2]->setText("502");
    f.p.CmdWrite->click();
    ASSERT_TRUE(f.idle());
    std::vector<QByteArray> expected{"\x1dTP\xc0", "\x1dTw"};
    for (int k = 0; k < 9; ++k) {
        for (int n = 0; n < 6; ++n) {
            const int value = k == 0 && n == 2 ? 502 : distinct(k, n);
            expected.push_back(QByteArray::number(value).rightJustified(3, '0') + ' ');
        }
    }
    EXPECT_EQ(f.usbFrames(), expected);
    EXPECT_TRUE(f.prompts->messages.empty());

    // A refusal is one message, and nothing goes out.
    f.forgetSent();
    f.p.TxtPulse1On[3]->setText("503");
    f.p.CmdWrite->click();
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(f.usbFrames().empty());
    const FakePrompts::Message refusal{"ONE OR SOME VALUES ARE EXCEEDING 255 ms", MsgButtons::Ok,
                                       MsgIcon::Critical, "ERROR ON WRITING"};
    EXPECT_EQ(f.prompts->messages, std::vector{refusal});
}

// READ and WRITE against the simulated board over a real pty: READ fills the six games with
// what the board holds, which is what WRITE sent.
TEST(EndToEndPulses, WrittenValuesReadBackUnchanged) {
    for (const bool brisko : {true, false}) {
        SCOPED_TRACE(brisko);
        sim::BoardConfig config;
        config.requirePrefix = brisko;
        BoardHarness h(config);
        (brisko ? h.w().Option1 : h.w().Option3)->setChecked(true);
        ASSERT_TRUE(h.connect());
        FrmSetPulses& p = openPulses(h);
        std::array<std::array<int, 6>, 9> written{};  // block, game
        fillPulses(p, [&](int k, int n) {
            return written[k][n] = k == 8             ? (n + 1) % 2
                                   : k == 0 && n == 5 ? 502
                                                      : 3 + 40 * k + 7 * n;
        });
        p.CmdWrite->click();
        ASSERT_TRUE(h.idle());
        h.settle();
        EXPECT_EQ(h.board().state().pulses, written);
        // Behind a Brisko system the board checks the prefix and its fixed code 192.
        EXPECT_EQ(h.trace().contains("1D 54 50 C0"), brisko);

        fillPulses(p, [](int k, int) { return k == 8 ? -1 : 1; });
        p.CmdRead->click();
        ASSERT_TRUE(h.idle());
        for (int n = 0; n < 6; ++n) {
            for (int k = 0; k < 8; ++k) {
                EXPECT_EQ((p.*kBlockBoxes[k])[n]->text().toInt(), written[k][n]) << k << " " << n;
            }
            EXPECT_EQ(p.CmbHopper[n]->currentIndex(), written[8][n]) << n;
        }
        EXPECT_EQ(p.TxtPulse1On[0]->text(), "003");  // as the board sends it
        EXPECT_TRUE(h.board().protocolErrors().isEmpty())
            << h.board().protocolErrors().join('\n').toStdString();
    }
}

}  // namespace
}  // namespace tarvo::test
