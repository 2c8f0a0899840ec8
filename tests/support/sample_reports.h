#pragma once

#include <QString>

// Meter reports written by hand, as they stand in the response box, for tests and benchmarks
// of the scan. Never produced by the program or the simulated board.
namespace tarvo::test {

// Six panels, the enquiry's answer in front.
inline QString sixPanelSample() {
    QString r = QStringLiteral(
        "Tarvo Board ready\r\n"
        "*S|0|PRN 1.04 |A|0|0|0|0|0|\r\n"
        "  SERIAL # TB123456\r\n"
        "Pulses in Per Point :   25 100 5  10 1 DIP \r\n"
        "Pulses in Multiplier :   1 2 50 100 75 3 \r\n"
        "Print Out In :   CENTS DOLLAR POINTS CENTS CENTS DOLLAR\r\n"
        "Print Money Value In :   1 5 10 25 100 500\r\n"
        "Coin In A Multiplier:  1 2 3 4 5 6 \r\n"
        "Coin In B Multiplier:  10 20 30 40 50 60 \r\n"
        "*S|0|TB 2.10.3|\r\n"
        "Current Status: IDLE PLAY IDLE OUT IDLE IDLE\r\n");
    for (int t = 1; t <= 6; ++t) {
        // Each meter holds its terminal's number and its own place: 3002 is the second of
        // terminal 3.
        r += QString::asprintf(
            "Terminal %d\r\n"
            "Total Pulses Received=   00%d001\r\n"
            "Total Pulses Returned=   00%d002\r\n"
            "Total Pulses Paid Out=   00%d003\r\n"
            "Coin_1 in =     %d004\r\n"
            "Coin_2 in =     %d005\r\n",
            t, t, t, t, t, t);
    }
    return r + QStringLiteral("END\r\n");
}

}  // namespace tarvo::test
