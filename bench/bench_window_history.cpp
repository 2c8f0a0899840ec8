#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QtCharts/QChartView>

#include "history/history_test_support.h"
#include "history_window/meter_history_window.h"

// The Meter History window over a big history: how long it takes to open on a board and to
// switch to another, and how much memory it takes. Readings of one board, `state.range(0)`
// of them, and 500 other boards with one reading each.
namespace {

using tarvo::test::kStart;

// Readings written straight into the file, in one go: keeping them one by one takes long.
// Reading i (from 0) is taken a minute after the one before; meter m of terminal n reads i * n.
bool fill(const QString& path, int big) {
    // The first is kept the ordinary way: it makes the file.
    return tarvo::MeterHistory(path).store(tarvo::test::reading("SMALL0", kStart, 0)) &&
           !tarvo::test::onSqlite(
                path,
                {QStringLiteral(
                     "INSERT INTO readings (id, uid, pushed, taken_ms, taken_at, port, "
                     "serial_number, firmware_version, printer_firmware, printer_status) "
                     "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE "
                     "i < %1) SELECT i + 2, 'bench-' || (i + 2), 0, %2 + 60000 * (i + 1), '', "
                     "'Com1', CASE WHEN i < %3 THEN 'BIG' ELSE 'SMALL' || i END, 'F', '', '' "
                     "FROM n")
                     .arg(big + 498)
                     .arg(kStart.toMSecsSinceEpoch())
                     .arg(big),
                 QStringLiteral(
                     "INSERT INTO terminals WITH RECURSIVE t(n) AS (SELECT 1 UNION ALL SELECT n "
                     "+ 1 FROM t WHERE n < 6), v AS (SELECT id, n, printf('%09d', (id - 2) * n) "
                     "AS m FROM readings, t WHERE id > 1 AND (n = 1 OR serial_number = 'BIG')) "
                     "SELECT id, n, 'ON', '1', '1', 'CENTS', 'MONEY', m, m, m, m, m, '1', '1', '' "
                     "FROM v")})
                .isNull();
}

long residentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));  // sizes in pages; the second is resident
    return statm.open(QIODevice::ReadOnly)
               ? statm.readAll().split(' ').value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024)
               : 0;
}

void settle(tarvo::MeterHistoryWindow& w) {
    do {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    } while (w.loading());
    QCoreApplication::processEvents();
}

void BM_OpenAndSwitch(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("meter-history.sqlite"));
    if (!fill(path, static_cast<int>(state.range(0)))) {
        state.SkipWithError("cannot fill the history");
        return;
    }
    double openMs = 0, switchMs = 0, grownMb = 0;
    for (auto _ : state) {
        const long before = residentKb();
        QElapsedTimer timer;
        timer.start();
        tarvo::MeterHistoryWindow::Setup setup;
        setup.historyPath = path;
        setup.serial = QStringLiteral("BIG");
        setup.followMs = 3600000;
        tarvo::MeterHistoryWindow w(setup);
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.show();
        settle(w);
        w.chartView->grab();
        openMs += static_cast<double>(timer.restart());
        for (const QString& serial : {QStringLiteral("SMALL7"), QStringLiteral("BIG")}) {
            const int i = w.boardChooser->findData(serial);
            w.boardChooser->setCurrentIndex(i);
            emit w.boardChooser->activated(i);
            settle(w);
            w.chartView->grab();
        }
        switchMs += static_cast<double>(timer.elapsed()) / 2;
        grownMb += static_cast<double>(residentKb() - before) / 1024;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["open_ms"] = openMs / n;
    state.counters["switch_ms"] = switchMs / n;
    state.counters["memory_growth_MB"] = grownMb / n;
}
BENCHMARK(BM_OpenAndSwitch)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
