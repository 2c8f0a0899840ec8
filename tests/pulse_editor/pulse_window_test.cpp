#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include "core/pulse_files.h"
#include "link/board_link.h"
#include "pulse_editor/frm_set_pulses.h"
#include "pulse_editor/pulse_files.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

using Boxes = FrmSetPulses::PerGame<QLineEdit> FrmSetPulses::*;

// The eight boxes in the board's block order.
const Boxes kBlockBoxes[] = {&FrmSetPulses::TxtPulse1On, &FrmSetPulses::TxtPulse1OFF,
                             &FrmSetPulses::txtHopperOn, &FrmSetPulses::TxtHopperOff,
                             &FrmSetPulses::TxtPulse2On, &FrmSetPulses::TxtPulse2Off,
                             &FrmSetPulses::TxtOffset,   &FrmSetPulses::TxtOffset2};

FrmSetPulses& openPulses(WindowFixture& f) {
    f.w().Command3->click();
    return *f.w().pulseWindow();
}

// Field k (block order) of game n holds 100 + 10k + n; the odd games drive a hopper.
void fillDistinct(FrmSetPulses& p) {
    for (int n = 0; n < 6; ++n) {
        for (int k = 0; k < 8; ++k) {
            (p.*kBlockBoxes[k])[n]->setText(QString::number(100 + 10 * k + n));
        }
        p.CmbHopper[n]->setCurrentIndex(n % 2);
    }
}

QStringList boxTexts(const FrmSetPulses& p) {
    QStringList out;
    for (int n = 0; n < 6; ++n) {
        for (const Boxes boxes : kBlockBoxes) {
            out << (p.*boxes)[n]->text();
        }
        out << QString::number(p.CmbHopper[n]->currentIndex());
    }
    return out;
}

TEST(PulseWindow, OpensOnceBesideTheMainWindowWithEmptyGames) {
    WindowFixture f;
    FrmSetPulses& p = openPulses(f);
    f.w().Command3->click();
    EXPECT_EQ(f.w().pulseWindow(), &p);
    EXPECT_TRUE(p.isVisible() && f.w().isVisible());
    EXPECT_FALSE(p.isModal());
    EXPECT_EQ(p.parentWidget(), nullptr);
    EXPECT_EQ(p.windowTitle(), "Configure Pulse Width");
    for (int n = 0; n < 6; ++n) {
        EXPECT_EQ(p.Frame1[n]->title(), QStringLiteral("GAME #%1").arg(n + 1));
        EXPECT_EQ(p.CmbHopper[n]->currentIndex(), -1);
        EXPECT_EQ(p.CmbHopper[n]->count(), 2);
        EXPECT_EQ(p.CmbHopper[n]->itemText(1), "Hopper");
    }
}

TEST(PulseWindow, ControlsAreFoundByNameAndAnnouncedWithTheirGame) {
    WindowFixture f;
    FrmSetPulses& p = openPulses(f);
    const std::pair<const char*, const char*> cases[] = {
        {"TxtPulse1On_3", "Mech Pulse #1 ON, Game 4"},
        {"TxtPulse1OFF_3", "Mech Pulse #1 OFF, Game 4"},
        {"TxtOffset_3", "Mech Pulse #2 offset, Game 4"},
        {"TxtOffset2_3", "Mech Pulse #2 second offset, Game 4"},
        {"TxtPulse2On_3", "Mech Pulse #2 ON, Game 4"},
        {"TxtPulse2Off_3", "Mech Pulse #2 OFF, Game 4"},
        {"txtHopperOn_3", "Hopper /Cashout ON, Game 4"},
        {"TxtHopperOff_3", "Hopper /Cashout OFF, Game 4"},
        {"CmbHopper_3", "Hopper /Cashout use, Game 4"},
        {"PicMechPulse1_3", "Mech Pulse #1 plot, Game 4"},
        {"PicMechPulse2_3", "Mech Pulse #2 plot, Game 4"},
        {"PicHopperPulse_3", "Hopper /Cashout plot, Game 4"},
        {"CmdLoadGame_3", "Load game file, Game 4"},
        {"CmdSaveGame_3", "Save game file, Game 4"},
        {"Frame1_3", "GAME #4"},
        {"CmdRead", "READ"},
        {"CmdRedraw", "Re-Draw"},
        {"CmdCreateBix", "CREATE Bix File"},
    };
    for (const auto& [name, spoken] : cases) {
        const auto* widget = p.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->accessibleName(), QString::fromUtf8(spoken)) << name;
    }
    // The list is tied to its row label, which a screen reader reads with its value.
    bool labelled = false;
    for (const auto* label : p.Frame1[3]->findChildren<QLabel*>()) {
        labelled |= label->buddy() == p.CmbHopper[3] && label->text() == "Hopper /Cashout";
    }
    EXPECT_TRUE(labelled);
    EXPECT_EQ(p.CmdLoadGame[3]->iconSize(), QSize(16, 16));
    EXPECT_FALSE(p.CmdLoadGame[3]->icon().isNull());
}

// Every caption whole, at the normal font and at twice its size.
TEST(PulseWindow, EveryTextFitsAtFontScaleOneAndTwo) {
    const QFont normal = QApplication::font();
    for (const qreal scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        {
            WindowFixture f;
            FrmSetPulses& p = openPulses(f);
            p.grab();  // lays the window out
            for (const QWidget* widget : p.findChildren<QWidget*>()) {
                if (!widget->isVisibleTo(&p) || !(qobject_cast<const QLabel*>(widget) ||
                                                  qobject_cast<const QAbstractButton*>(widget) ||
                                                  qobject_cast<const QGroupBox*>(widget) ||
                                                  qobject_cast<const QComboBox*>(widget))) {
                    continue;
                }
                const QSize needed = qobject_cast<const QGroupBox*>(widget)
                                         ? widget->minimumSizeHint()
                                         : widget->sizeHint();
                EXPECT_GE(widget->width(), needed.width()) << widget->objectName().toStdString();
                EXPECT_GE(widget->height(), needed.height()) << widget->objectName().toStdString();
            }
            for (const QLineEdit* box : p.findChildren<QLineEdit*>()) {
                EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance("0000"));
            }
            EXPECT_GE(p.PicMechPulse1[5]->contentsRect().width(), 640);
        }
        QApplication::setFont(normal);
    }
}

TEST(PulseWindow, PlotDrawsTheTrainsInBlueAtTheirEdges) {
    WindowFixture f;
    FrmSetPulses& p = openPulses(f);
    fillDistinct(p);
    auto set = [&](Boxes boxes, const char* text) { (p.*boxes)[0]->setText(text); };
    set(&FrmSetPulses::TxtPulse1On, "10");
    set(&FrmSetPulses::TxtPulse1OFF, "40");
    set(&FrmSetPulses::TxtOffset, "30");
    set(&FrmSetPulses::TxtPulse2On, "7.5");  // 8 pixels: halves go to the even neighbour
    set(&FrmSetPulses::TxtPulse2Off, "40");
    set(&FrmSetPulses::txtHopperOn, "0");  // baseline only
    p.TxtPulse1On[1]->clear();             // game 2: nothing drawn, even where filled

    struct Case {
        PulsePicture* picture;
        int x, y;
        bool blue;
    };
    const Case cases[] = {
        {p.PicMechPulse1[0], 0, 5, true},    {p.PicMechPulse1[0], 19, 25, false},
        {p.PicMechPulse1[0], 20, 15, true},  {p.PicMechPulse1[0], 25, 25, true},
        {p.PicMechPulse1[0], 25, 5, false},  {p.PicMechPulse1[0], 30, 15, true},
        {p.PicMechPulse1[0], 50, 5, true},   {p.PicMechPulse1[0], 570, 15, true},
        {p.PicMechPulse1[0], 620, 15, true}, {p.PicMechPulse1[0], 621, 5, false},
        {p.PicMechPulse2[0], 49, 5, true},   {p.PicMechPulse2[0], 49, 15, false},
        {p.PicMechPulse2[0], 50, 15, true},  {p.PicMechPulse2[0], 58, 15, true},
        {p.PicMechPulse2[0], 59, 25, false}, {p.PicHopperPulse[0], 20, 5, true},
        {p.PicHopperPulse[0], 21, 5, false}, {p.PicHopperPulse[0], 20, 15, false},
        {p.PicMechPulse1[1], 5, 5, false},   {p.PicHopperPulse[1], 5, 5, false},
        {p.PicMechPulse1[2], 120, 25, true},
    };
    for (const Case& c : cases) {
        const QImage image = c.picture->grab().toImage();
        const QPoint at = c.picture->contentsRect().topLeft() + QPoint(c.x, c.y);
        EXPECT_EQ(QColor(image.pixel(at)) == QColor(0, 0, 255), c.blue)
            << c.picture->objectName().toStdString() << " " << c.x << "," << c.y;
    }
}

// What the board sends for "Tr": nine lines of six "nnn " items.
QByteArray pulseReply(const std::function<int(int k, int n)>& value) {
    QByteArray reply;
    for (int k = 0; k < 9; ++k) {
        for (int n = 0; n < 6; ++n) {
            reply += QByteArray::number(value(k, n)).rightJustified(3, '0') + ' ';
        }
        reply += "\r\n";
    }
    return reply;
}

TEST(PulseRead, FillsEveryGameFromTheReplyAndDrawsThem) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());
    FakeSerialLine* line = f.serial.get();
    line->onWrite = [line](const QByteArray&) {
        if (line->sentBytes().endsWith("\x1dTr")) {
            line->receiveLater(pulseReply([](int k, int n) { return k == 8 ? n % 2 : 5 * k + n; }));
        }
    };
    FrmSetPulses& p = openPulses(f);
    p.TxtOffset2[5]->setText("old");
    p.CmdRead->click();
    EXPECT_EQ(f.serial->sentBytes(), QByteArray("\x1dTP\x03\x1dTr"));
    for (int n = 0; n < 6; ++n) {
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ((p.*kBlockBoxes[k])[n]->text(),
                      QString::number(5 * k + n).rightJustified(3, '0'))
                << k << " " << n;
        }
        EXPECT_EQ(p.CmbHopper[n]->currentText(), n % 2 ? "Hopper" : "Cashout");
        EXPECT_FALSE(p.PicMechPulse1[n]->lines().empty());
    }
}

TEST(PulseRead, NoReplyLeavesTheWindowAsItWas) {
    WindowFixture f;
    ASSERT_TRUE(f.connect());
    FrmSetPulses& p = openPulses(f);
    fillDistinct(p);
    const QStringList before = boxTexts(p);
    p.CmdRead->click();
    EXPECT_EQ(boxTexts(p), before);
}

// Either window may be closed while READ waits for the board; the handler returns and the
// pulse window is deleted only afterwards.
TEST(PulseRead, ClosingEitherWindowDuringTheWaitIsSafe) {
    for (const bool closeMain : {false, true}) {
        SCOPED_TRACE(closeMain);
        WindowFixture f(nullptr, 50);
        ASSERT_TRUE(f.connect());
        FrmSetPulses& p = openPulses(f);
        QPointer<FrmSetPulses> watch(&p);
        QTimer::singleShot(20, &p, [&] {
            if (closeMain) {
                f.w().close();
            } else {
                p.close();
            }
            // Even code that flushes pending deletions here must not take the window away.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_TRUE(watch);
        });
        p.CmdRead->click();
        ASSERT_TRUE(watch);  // still on the stack a moment ago
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(watch.isNull(), !closeMain);
        EXPECT_EQ(f.w().pulseWindow() == nullptr, !closeMain);
    }
}

TEST(PulseWrite, SendsThePrefixTwAndTheFiftyFourItemsEachOnItsOwn) {
    WindowFixture f;
    f.chooseInterface(RetreiveAccountingApp::kUsbPosition);
    ASSERT_TRUE(f.connect());
    FrmSetPulses& p = openPulses(f);
    fillDistinct(p);
    p.TxtPulse1On[2]->setText("502");
    p.CmdWrite->click();
    std::vector<QByteArray> expected{QByteArray("\x1dTP\xc0"), QByteArray("\x1dTw")};
    for (int k = 0; k < 9; ++k) {
        for (int n = 0; n < 6; ++n) {
            const int value = k == 0 && n == 2 ? 502 : k == 8 ? n % 2 : 100 + 10 * k + n;
            expected.push_back(QByteArray::number(value).rightJustified(3, '0') + ' ');
        }
    }
    EXPECT_EQ(f.usbFrames(), expected);
    EXPECT_TRUE(f.prompts->messages.empty());
}

TEST(PulseWrite, ARefusalIsOneMessageAndSendsNothing) {
    struct Case {
        std::function<void(FrmSetPulses&)> change;
        const char* text;
    };
    const Case cases[] = {
        {[](FrmSetPulses& p) { p.TxtPulse1On[3]->setText("503"); },
         "ONE OR SOME VALUES ARE EXCEEDING 255 ms"},
        {[](FrmSetPulses& p) {
             p.TxtPulse1On[3]->setText("503");
             p.TxtOffset2[0]->clear();
         },
         "ERROR MISSING INFORMATION"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WindowFixture f;
        ASSERT_TRUE(f.connect());
        FrmSetPulses& p = openPulses(f);
        fillDistinct(p);
        c.change(p);
        p.CmdWrite->click();
        EXPECT_TRUE(f.serial->sentBytes().isEmpty());
        ASSERT_EQ(f.prompts->messages.size(), 1u);
        EXPECT_EQ(f.prompts->messages[0].text, c.text);
        EXPECT_EQ(f.prompts->messages[0].title, "ERROR ON WRITING");
        EXPECT_EQ(f.prompts->messages[0].icon, MsgIcon::Critical);
    }
}

TEST(PulseBoardButtons, MultiDropAddressZeroShowsOnlyTheRefusal) {
    WindowFixture f;
    f.w().Option4->click();
    f.w().MultiDropAddress->setCurrentIndex(0);
    ASSERT_TRUE(f.connect());
    FrmSetPulses& p = openPulses(f);
    fillDistinct(p);
    p.CmdRead->click();
    p.CmdWrite->click();
    EXPECT_TRUE(f.serial->sentBytes().isEmpty());
    EXPECT_EQ(f.prompts->messageTexts(),
              QStringList(2, "Cannot view last cashout with multi drop address of 0"));
}

}  // namespace
}  // namespace tarvo::test
