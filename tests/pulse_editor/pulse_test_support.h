#pragma once

#include "pulse_editor/frm_set_pulses.h"

namespace tarvo::test {

using PulseBoxes = FrmSetPulses::PerGame<QLineEdit> FrmSetPulses::*;

// The eight boxes in the board's block order.
inline const PulseBoxes kBlockBoxes[] = {&FrmSetPulses::TxtPulse1On, &FrmSetPulses::TxtPulse1OFF,
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
inline void fillPulses(FrmSetPulses& p, const std::function<int(int, int)>& value) {
    for (int n = 0; n < 6; ++n) {
        for (int k = 0; k < 8; ++k) {
            (p.*kBlockBoxes[k])[n]->setText(QString::number(value(k, n)));
        }
        p.CmbHopper[n]->setCurrentIndex(value(8, n));
    }
}

// Every text, hopper position and caption of the window.
inline QStringList pulseState(const FrmSetPulses& p) {
    QStringList out;
    for (int n = 0; n < 6; ++n) {
        out << p.Frame1[n]->title() << QString::number(p.CmbHopper[n]->currentIndex());
        for (const PulseBoxes boxes : kBlockBoxes) {
            out << (p.*boxes)[n]->text();
        }
    }
    return out;
}

}  // namespace tarvo::test
