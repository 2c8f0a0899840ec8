#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include "support/text_fit.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

// A report with the widest value every display can receive: "W" is the widest letter of the
// usual fonts, meters have nine digits, and the printer reports an error.
QByteArray widestReport() {
    QByteArray r =
        "TARVO BOARD METER REPORT\r\n"
        "*S|0|WWWWWWWWW|P|P|P|P|P|P|0\r\n"
        "  SERIAL # WWWWWWWW\r\n"
        "Pulses in Per Point :   5000 2500 5000 2000 5000 DIP \r\n"
        "Pulses in Multiplier :   1000 1000 500 1000 1000 250 \r\n"
        "Print Out In :   POINTS POINTS POINTS MONEY POINTS POINTS\r\n"
        "Print Money Value In :   DOLLAR DOLLAR CENTS DOLLAR DOLLAR DOLLAR\r\n"
        "Coin In A Multiplier:  255 255 255 255 255 255 \r\n"
        "Coin In B Multiplier:  255 255 255 255 255 255 \r\n"
        "*S|0|WWWWWWWWW|0|\r\n"
        "Current Status: PLAY IDLE PLAY IDLE PLAY IDLE\r\n";
    for (int n = 0; n < 6; ++n) {
        r += "Terminal " + QByteArray::number(n + 1) + "\r\n";
        for (const char* label : {"Total Pulses Received=", "Total Pulses Returned=",
                                  "Total Pulses Paid Out=", "Coin_1 in =", "Coin_2 in ="}) {
            r += QByteArray(label) + "999999999\r\n";
        }
    }
    while (r.size() < 1400) {
        r += QByteArray(38, '-') + "\r\n";
    }
    return r;
}

// Every display filled with its widest text, at the default font and at one and a half and
// twice its size (what a larger desktop font or a high-resolution screen gives).
TEST(TextFit, EveryTextOfTheMainWindowIsShownWhole) {
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        {
            WindowFixture f;
            auto& w = f.w();
            f.answerMeterRequests(widestReport());
            ASSERT_TRUE(f.connect());
            w.cmdViewOnly->click();
            ASSERT_TRUE(f.idle());
            ASSERT_EQ(w.PrinterStatus->text(), "Printer Error");
            ASSERT_EQ(w.CoinInA[5]->text(), "999999999");
            ASSERT_TRUE(w.cmbValueIn[0]->isVisible());
            w.SystemMessage->setText("ERROR! Problems getting data from Tarvo Board");
            w.ButtonTerminalMode->setText("Exit Terminal Mode");
            for (auto* line : w.txtLocationInfo) {
                line->setText("TARVO GAMING HALL, 1234 MAIN ST.");
            }
            for (auto* line : w.TxtLawInfo) {
                line->setText("NO PLAYER UNDER 18 YEARS OF AGE.");
            }
            w.COMInterface->setCurrentIndex(31);
            w.MultiDropAddress->setCurrentIndex(33);
            w.CmdTerminalToCalibrate->setCurrentIndex(6);
            QApplication::processEvents();
            EXPECT_EQ(cutTexts(w).join('\n'), "");
            // For a look by eye: TARVO_GRAB_DIR=/tmp build/tests/test_shell --gtest_filter=TextFit*
            if (qEnvironmentVariableIsSet("TARVO_GRAB_DIR")) {
                w.grab().save(QDir(qEnvironmentVariable("TARVO_GRAB_DIR"))
                                  .filePath(QStringLiteral("main_window_%1.png").arg(scale)));
            }
        }
        QApplication::setFont(normal);
    }
}

}  // namespace
}  // namespace tarvo::test
