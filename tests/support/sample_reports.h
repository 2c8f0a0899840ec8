#pragma once

#include <QString>

// Meter reports written by hand, as they stand in the response box, for tests and benchmarks
// of the scan. Never produced by the program or the simulated board.
namespace tarvo::test {

// Six panels, the enquiry's answer in front.
inline QString sixPanelSample() {
    return QStringLiteral(
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
        "Current Status: IDLE PLAY IDLE OUT IDLE IDLE\r\n"
        "Terminal 1\r\nTotal Pulses Received=   001001\r\nTotal Pulses Returned=   001002\r\n"
        "Total Pulses Paid Out=   001003\r\nCoin_1 in =     1004\r\nCoin_2 in =     1005\r\n"
        "Terminal 2\r\nTotal Pulses Received=   002001\r\nTotal Pulses Returned=   002002\r\n"
        "Total Pulses Paid Out=   002003\r\nCoin_1 in =     2004\r\nCoin_2 in =     2005\r\n"
        "Terminal 3\r\nTotal Pulses Received=   003001\r\nTotal Pulses Returned=   003002\r\n"
        "Total Pulses Paid Out=   003003\r\nCoin_1 in =     3004\r\nCoin_2 in =     3005\r\n"
        "Terminal 4\r\nTotal Pulses Received=   004001\r\nTotal Pulses Returned=   004002\r\n"
        "Total Pulses Paid Out=   004003\r\nCoin_1 in =     4004\r\nCoin_2 in =     4005\r\n"
        "Terminal 5\r\nTotal Pulses Received=   005001\r\nTotal Pulses Returned=   005002\r\n"
        "Total Pulses Paid Out=   005003\r\nCoin_1 in =     5004\r\nCoin_2 in =     5005\r\n"
        "Terminal 6\r\nTotal Pulses Received=   006001\r\nTotal Pulses Returned=   006002\r\n"
        "Total Pulses Paid Out=   006003\r\nCoin_1 in =     6004\r\nCoin_2 in =     6005\r\n"
        "END\r\n");
}

}  // namespace tarvo::test
