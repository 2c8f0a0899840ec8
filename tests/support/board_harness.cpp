#include "support/board_harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <stdexcept>

#include "platform/port_map.h"

namespace tarvo::test {

BoardHarness::BoardHarness(sim::BoardConfig config,
                           const std::function<void(SettingsStore&)>& preset, int tickIntervalMs)
    : model_(config) {
    pty_ = std::make_unique<sim::PtyBoard>(model_);
    QString error;
    if (!pty_->open(&error)) {
        throw std::runtime_error(("cannot open a pseudo-terminal: " + error).toStdString());
    }
    usb_ = std::make_shared<sim::SimUsbLibrary>(model_);
    settings_ = std::make_shared<QSettingsStore>();
    // Every harness starts from an empty store in the test's own configuration home.
    QFile::remove(settings_->fileName());
    settings_ = std::make_shared<QSettingsStore>();
    if (preset) {
        preset(*settings_);
    }
    PortMap ports(settings_);
    ports.setOverride(1, pty_->slavePath());
    serial_ = std::make_shared<QtSerialLine>(ports);
    Platform platform;
    platform.serial = serial_;
    platform.usb = usb_;
    platform.settings = settings_;
    platform.prompts = prompts_;
    platform.files = files_;
    platform.tickIntervalMs = tickIntervalMs;
    platform.historyPath = historyPath();
    window_ = std::make_unique<RetreiveAccountingApp>(std::move(platform));
    window_->show();
}

BoardHarness::~BoardHarness() {
    window_->close();
    window_.reset();
    pty_->close();
}

bool BoardHarness::connect() {
    window_->Connect->click();
    idle();
    return window_->Connect->text() == QStringLiteral("Disconnect") &&
           window_->session().Connected == 1;
}

bool BoardHarness::idle() {
    return QTest::qWaitFor([this] { return !window_->session().busy(); }, 20000);
}

bool BoardHarness::waitFor(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

void BoardHarness::settle(int quietMs) {
    QElapsedTimer quiet;
    quiet.start();
    qsizetype lines = model_.trace().size();
    int length = window_->ResponseWindow->length();
    QElapsedTimer total;
    total.start();
    while (quiet.elapsed() < quietMs && total.elapsed() < 10000) {
        QTest::qWait(10);
        if (model_.trace().size() != lines || window_->ResponseWindow->length() != length) {
            lines = model_.trace().size();
            length = window_->ResponseWindow->length();
            quiet.restart();
        }
    }
}

}  // namespace tarvo::test
