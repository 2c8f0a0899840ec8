#include "support/window_fixture.h"

#include <QTest>

namespace tarvo::test {

WindowFixture::WindowFixture(const std::function<void(MemorySettingsStore&)>& preset,
                             int tickIntervalMs) {
    if (preset) {
        preset(*settings);
    }
    window_ = std::make_unique<RetreiveAccountingApp>(Platform{.serial = serial,
                                                               .usb = usb,
                                                               .settings = settings,
                                                               .prompts = prompts,
                                                               .files = files,
                                                               .tickIntervalMs = tickIntervalMs,
                                                               .historyPath = historyPath()});
    window_->show();
}

WindowFixture::~WindowFixture() {
    window_->close();
    window_.reset();
}

void WindowFixture::chooseInterface(int position) {
    if (position == RetreiveAccountingApp::kUsbPosition) {
        usb->present.insert(0x4000);
    }
    window_->COMInterface->setCurrentIndex(position);
}

bool WindowFixture::connect() {
    // The board answers the probe of a Tarvo Board System at once, so connecting needs no retry.
    const auto serialHook = serial->onWrite;
    const auto usbHook = usb->onWrite;
    auto answeringProbe = [](auto hook, auto reply) {
        return [hook, reply](const QByteArray& bytes) {
            if (bytes == QByteArray("\x05")) {
                reply("OK\r\n");
            }
            if (hook) {
                hook(bytes);
            }
        };
    };
    serial->onWrite = answeringProbe(
        serialHook, [line = serial.get()](const QByteArray& reply) { line->receiveLater(reply); });
    usb->onWrite = answeringProbe(
        usbHook, [lib = usb.get()](const QByteArray& reply) { lib->pushReply(reply); });
    window_->Connect->click();
    idle();
    serial->onWrite = serialHook;
    usb->onWrite = usbHook;
    forgetSent();
    return window_->Connect->text() == QStringLiteral("Disconnect") &&
           window_->session().Connected == 1;
}

bool WindowFixture::idle() {
    return QTest::qWaitFor([this] { return !window_->session().busy(); }, 20000);
}

void WindowFixture::forgetSent() {
    serial->sent.clear();
    usb->calls.clear();
}

void WindowFixture::answerMeterRequests(const QByteArray& report) {
    static const QByteArray request("\x80\x81\x81");
    FakeSerialLine* line = serial.get();
    line->onWrite = [line, report](const QByteArray&) {
        if (line->sentBytes().endsWith(request)) {
            line->receiveLater(report);
        }
    };
    FakeUsbLibrary* lib = usb.get();
    lib->onWrite = [lib, report](const QByteArray& data) {
        if (data == request) {
            lib->pushReply(report);
        }
    };
}

std::vector<QByteArray> WindowFixture::usbFrames() const {
    std::vector<QByteArray> out;
    for (const auto& call : usb->calls) {
        if (call.name == QStringLiteral("USB_Write")) {
            out.push_back(call.data);
        }
    }
    return out;
}

QByteArray sixPanelReport() {
    auto meter = [](int n, int k) {
        return QByteArray::number(1000 * (n + 1) + k).rightJustified(9, '0');
    };
    QByteArray r =
        "TARVO BOARD METER REPORT\r\n"
        "*S|0|PRN-V1.02|A|0|0|0|0|0\r\n"
        "  SERIAL # 00123456\r\n"
        "Pulses in Per Point :   25 DIP 1 5000 2 4 \r\n"
        "Pulses in Multiplier :   100 1000 1 50 2 5 \r\n"
        "Print Out In :   MONEY POINTS MONEY MONEY MONEY MONEY\r\n"
        "Print Money Value In :   CENTS DOLLAR CENTS DOLLAR CENTS DOLLAR\r\n"
        "Coin In A Multiplier:  1 2 3 4 5 6 \r\n"
        "Coin In B Multiplier:  7 8 9 10 11 12 \r\n"
        "*S|0|BRD-V2.05|0|\r\n"
        "Current Status: IDLE IDLE PLAY IDLE IDLE IDLE\r\n";
    for (int n = 0; n < 6; ++n) {
        r += "Terminal " + QByteArray::number(n + 1) + "\r\n";
        r += "Total Pulses Received=" + meter(n, 1) + "\r\n";
        r += "Total Pulses Returned=" + meter(n, 2) + "\r\n";
        r += "Total Pulses Paid Out=" + meter(n, 3) + "\r\n";
        r += "Coin_1 in =" + meter(n, 4) + "\r\n";
        r += "Coin_2 in =" + meter(n, 5) + "\r\n";
    }
    while (r.size() < 1400) {
        r += QByteArray(38, '-') + "\r\n";
    }
    return r;
}

}  // namespace tarvo::test
