#include <gtest/gtest.h>

#include "pulse_editor/frm_set_pulses.h"
#include "support/board_harness.h"

// READ and WRITE of the pulse-width window against the simulated board over a real pty.
namespace tarvo::test {
namespace {

using Boxes = FrmSetPulses::PerGame<QLineEdit> FrmSetPulses::*;
const Boxes kBlockBoxes[] = {&FrmSetPulses::TxtPulse1On, &FrmSetPulses::TxtPulse1OFF,
                             &FrmSetPulses::txtHopperOn, &FrmSetPulses::TxtHopperOff,
                             &FrmSetPulses::TxtPulse2On, &FrmSetPulses::TxtPulse2Off,
                             &FrmSetPulses::TxtOffset,   &FrmSetPulses::TxtOffset2};

using Pulses = std::array<std::array<int, 6>, 9>;

Pulses windowValues(const FrmSetPulses& p) {
    Pulses v{};
    for (int n = 0; n < 6; ++n) {
        for (int k = 0; k < 8; ++k) {
            v[k][n] = (p.*kBlockBoxes[k])[n]->text().toInt();
        }
        v[8][n] = p.CmbHopper[n]->currentIndex();
    }
    return v;
}

FrmSetPulses& openPulses(BoardHarness& h) {
    h.w().Command3->click();
    return *h.w().pulseWindow();
}

TEST(EndToEndPulses, ReadFillsTheSixGamesWithTheBoardsValues) {
    BoardHarness h;
    Pulses& board = h.board().state().pulses;
    for (int k = 0; k < 8; ++k) {
        for (int n = 0; n < 6; ++n) {
            board[k][n] = 7 + 60 * k + n;  // up to 432, three digits each
        }
    }
    board[8] = {1, 0, 0, 1, 1, 0};
    ASSERT_TRUE(h.connect());
    FrmSetPulses& p = openPulses(h);
    p.CmdRead->click();
    EXPECT_EQ(windowValues(p), board);
    EXPECT_EQ(p.TxtPulse1On[0]->text(), "007");
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

TEST(EndToEndPulses, WrittenValuesReadBackUnchanged) {
    for (const bool brisko : {true, false}) {
        SCOPED_TRACE(brisko);
        BoardHarness h;
        (brisko ? h.w().Option1 : h.w().Option3)->setChecked(true);
        ASSERT_TRUE(h.connect());
        FrmSetPulses& p = openPulses(h);
        Pulses written{};
        for (int n = 0; n < 6; ++n) {
            for (int k = 0; k < 8; ++k) {
                written[k][n] = k == 0 && n == 5 ? 502 : 3 + 40 * k + 7 * n;
                (p.*kBlockBoxes[k])[n]->setText(QString::number(written[k][n]));
            }
            written[8][n] = (n + 1) % 2;
            p.CmbHopper[n]->setCurrentIndex(written[8][n]);
        }
        p.CmdWrite->click();
        h.settle();
        EXPECT_EQ(h.board().state().pulses, written);
        // The prefix with its fixed code, then "Tw" and the 54 items as one command.
        QString tw = "1D 54 77";
        for (int k = 0; k < 9; ++k) {
            for (int n = 0; n < 6; ++n) {
                for (const char c :
                     QByteArray::number(written[k][n]).rightJustified(3, '0') + ' ') {
                    tw += QStringLiteral(" %1").arg(int(c), 2, 16, QChar('0')).toUpper();
                }
            }
        }
        const qsizetype at = h.trace().indexOf(tw);
        ASSERT_GE(at, 1) << h.trace().join('\n').toStdString();
        EXPECT_EQ(h.trace()[at - 1] == "1D 54 50 C0", brisko);

        for (int n = 0; n < 6; ++n) {
            p.TxtPulse1On[n]->clear();
            p.CmbHopper[n]->setCurrentIndex(-1);
        }
        p.CmdRead->click();
        EXPECT_EQ(windowValues(p), written);
        EXPECT_TRUE(h.board().protocolErrors().isEmpty())
            << h.board().protocolErrors().join('\n').toStdString();
    }
}

}  // namespace
}  // namespace tarvo::test
