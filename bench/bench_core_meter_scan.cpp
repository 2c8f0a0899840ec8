#include "core/meter_report.h"
#include "support/sample_reports.h"

#include <benchmark/benchmark.h>

#include <QString>

namespace {

// A six-panel report padded to the size the board sends (about 1300 characters).
QString sixPanelReport() {
    QString r = tarvo::test::sixPanelSample();
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
    const QString line = QStringLiteral("Terminal log: Coin In accepted, Pulses in: 12 *S|1|\r\n");
    scan(state, line.repeated(1'000'000 / line.size() + 1) + sixPanelReport());
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
