#include "core/meter_report.h"

#include <benchmark/benchmark.h>

#include <QString>

namespace {

// A six-panel report of the size the board sends (about 1300 characters).
QString sixPanelReport() {
    QString r = QStringLiteral(
        "*S|0|PRN 1.04 |A|0|0|0|0|0|\r\n"
        "  SERIAL # TB123456\r\n"
        "Pulses in Per Point :   25 100 5 10 1 DIP \r\n"
        "Pulses in Multiplier :   1 2 50 100 75 3 \r\n"
        "Print Out In :   CENTS DOLLAR POINTS CENTS CENTS DOLLAR\r\n"
        "Print Money Value In :   1 5 10 25 100 500\r\n"
        "Coin In A Multiplier:  1 2 3 4 5 6 \r\n"
        "Coin In B Multiplier:  10 20 30 40 50 60 \r\n"
        "*S|0|TB 2.10.3|\r\n"
        "Current Status: IDLE PLAY IDLE OUT IDLE IDLE\r\n");
    for (int t = 1; t <= 6; ++t) {
        r += QStringLiteral("Terminal %1\r\n").arg(t);
        r += QStringLiteral("Total Pulses Received=%1\r\n").arg(t * 1000 + 1, 9);
        r += QStringLiteral("Total Pulses Returned=%1\r\n").arg(t * 1000 + 2, 9);
        r += QStringLiteral("Total Pulses Paid Out=%1\r\n").arg(t * 1000 + 3, 9);
        r += QStringLiteral("Coin_1 in =%1\r\n").arg(t * 1000 + 4, 9);
        r += QStringLiteral("Coin_2 in =%1\r\n").arg(t * 1000 + 5, 9);
        r += QStringLiteral("---------------------------------------------\r\n");
    }
    while (r.size() < 1300) {
        r += QStringLiteral("                                       \r\n");
    }
    return r;
}

void scan(benchmark::State& state, const QString& text) {
    const int limit = static_cast<int>(text.size()) + 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarvo::scanMeterReport(text, limit, false));
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_ScanReport(benchmark::State& state) {
    scan(state, sixPanelReport());
}

// 1 MB of board chatter with the report at its very end: every search crosses the chatter once.
void BM_ScanMegabyteReportAtEnd(benchmark::State& state) {
    QString text;
    const QString line = QStringLiteral("Terminal log: Coin In accepted, Pulses in: 12 *S|1|\r\n");
    while (text.size() < 1'000'000) {
        text += line;
    }
    text += sixPanelReport();
    scan(state, text);
}

// 1 MB holding no label at all: the first search runs to the limit and the rest give up.
void BM_ScanMegabyteNoLabels(benchmark::State& state) {
    scan(state, QString(1'000'000, u'x'));
}

}  // namespace

BENCHMARK(BM_ScanReport);
BENCHMARK(BM_ScanMegabyteReportAtEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanMegabyteNoLabels)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
