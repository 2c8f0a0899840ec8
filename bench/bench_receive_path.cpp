#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include "session/board_session.h"
#include "shell/main_window.h"
#include "support/fake_prompts.h"
#include "support/fake_serial_line.h"
#include "support/fake_usb_library.h"
#include "support/memory_settings_store.h"
#include "support/offscreen_environment.h"

// Board text through the receive path into a real response box, as a serial line delivers it:
// one character at a time, with the event loop running between chunks of a read.
namespace {

QByteArray boardText(int size) {
    static const QByteArray line = "Coin In accepted on terminal 3, total 000012345 pulses\r\n";
    return line.repeated(size / line.size() + 1).left(size);
}

void BM_ReceivePath(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const bool terminalView = state.range(1) != 0;
    const QByteArray text = boardText(size);
    tarvo::Platform platform;
    platform.serial = std::make_shared<tarvo::test::FakeSerialLine>();
    platform.usb = std::make_shared<tarvo::test::FakeUsbLibrary>();
    platform.settings = std::make_shared<tarvo::test::MemorySettingsStore>();
    platform.prompts = std::make_shared<tarvo::test::FakePrompts>();
    tarvo::RetreiveAccountingApp w(platform);
    w.show();
    constexpr int kChunk = 256;
    for (auto _ : state) {
        w.ResponseWindow->clearText();
        w.TerminalView = terminalView;
        for (int i = 0; i < text.size(); ++i) {
            w.session().MSComm1_OnComm(text[i]);
            if (i % kChunk == kChunk - 1) {
                QCoreApplication::processEvents();
            }
        }
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(w.ResponseWindow->length());
    }
    state.SetItemsProcessed(state.iterations() * size);  // characters per second
    w.TerminalView = false;
}
BENCHMARK(BM_ReceivePath)
    ->ArgNames({"bytes", "terminal_view"})
    ->ArgsProduct({{10'000, 1'000'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    tarvo::test::useOffscreenEnvironment(home);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
