#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "platform/usb_worker.h"
#include "support/sleeping_usb_library.h"

// The longest the event loop goes without a turn while a USB read runs: a quiet read (1 s
// time-out) and a 5000-byte reply read until quiet, with the transfers on the worker thread
// and, for comparison, on the caller's own thread.
namespace {

constexpr int kFirstTimeoutMs = 1000;
constexpr int kNextTimeoutMs = 500;

void BM_UsbReadEventLoopGap(benchmark::State& state) {
    const int replyBytes = static_cast<int>(state.range(0));
    const bool onWorker = state.range(1) != 0;
    auto usb = std::make_shared<tarvo::test::SleepingUsbLibrary>();
    tarvo::UsbWorker worker(usb);
    qint64 longest = 0;
    for (auto _ : state) {
        QElapsedTimer sinceTurn;
        sinceTurn.start();
        // A zero-interval timer fires once per turn of the event loop.
        QTimer turn;
        QObject::connect(&turn, &QTimer::timeout,
                         [&] { longest = std::max(longest, sinceTurn.restart()); });
        turn.start(0);
        usb->reply(QByteArray(replyBytes, 'R'));
        // As the session reads: until a read comes back quiet.
        for (;;) {
            int32_t status = 0;
            if (onWorker) {
                auto read = std::make_shared<int32_t>(0);
                worker.post([read](tarvo::UsbLibrary& lib) {
                    QByteArray buffer(tarvo::UsbLibrary::kReadBufferSize, ' ');
                    *read = lib.USB_Read(1, buffer, kFirstTimeoutMs, kNextTimeoutMs);
                });
                // As the session's wait: the loop turns until the transfer's end arrives.
                QEventLoop loop;
                QObject::connect(&worker, &tarvo::UsbWorker::finished, &loop, &QEventLoop::quit);
                loop.exec();
                status = *read;
            } else {
                QByteArray buffer(tarvo::UsbLibrary::kReadBufferSize, ' ');
                status = usb->USB_Read(1, buffer, kFirstTimeoutMs, kNextTimeoutMs);
                QCoreApplication::processEvents();
            }
            if (status <= 0) {
                break;
            }
        }
        longest = std::max(longest, sinceTurn.elapsed());
    }
    state.counters["longest_gap_ms"] = static_cast<double>(longest);
}
BENCHMARK(BM_UsbReadEventLoopGap)
    ->ArgNames({"reply_bytes", "worker"})
    ->ArgsProduct({{0, 5000}, {1, 0}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
