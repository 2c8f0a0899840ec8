#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "core/meter_reading.h"
#include "history/meter_history.h"

// Keeping one reading in the meter history: the cost a View Info pays after its displays are
// filled, with the board's earlier readings already in the file.
namespace {

tarvo::MeterReading reading(int visit) {
    tarvo::MeterReading r = tarvo::readingFromReport(tarvo::MeterReport{}, false);
    r.time = QDateTime(QDate(2026, 1, 1), QTime(8, 0)).addSecs(3600LL * visit);
    r.port = QStringLiteral("Com1");
    r.serialNumber = QStringLiteral("TB104217");
    for (auto& t : r.terminals) {
        for (const auto& meter : tarvo::meterFields()) {
            t.*meter.field =
                QStringLiteral("%1").arg(1000 + visit * 7 + t.number, 9, 10, QLatin1Char('0'));
        }
    }
    return r;
}

// Keeps the readings of visits from `visit` on, one in each round.
void keepReadings(benchmark::State& state, tarvo::MeterHistory& history, int visit) {
    for (auto _ : state) {
        if (!history.store(reading(visit++))) {
            state.SkipWithError(qPrintable(history.problem()));
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_StoreReading(benchmark::State& state) {
    QTemporaryDir dir;
    tarvo::MeterHistory history(dir.filePath(QStringLiteral("meter-history.sqlite")));
    for (int visit = 0; visit < state.range(0); ++visit) {
        if (!history.store(reading(visit))) {
            state.SkipWithError(qPrintable(history.problem()));
            return;
        }
    }
    keepReadings(state, history, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_StoreReading)->Arg(10)->Arg(10'000)->Unit(benchmark::kMillisecond);

// The same on a central history, the server named by TARVO_BENCH_CENTRAL (a postgresql://
// address); skipped without one.
void BM_StoreReadingCentral(benchmark::State& state) {
    const QString url = qEnvironmentVariable("TARVO_BENCH_CENTRAL");
    if (url.isEmpty()) {
        state.SkipWithError("TARVO_BENCH_CENTRAL names no server");
        return;
    }
    keepReadings(state, *tarvo::MeterHistory::central(url), 0);
}
BENCHMARK(BM_StoreReadingCentral)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
