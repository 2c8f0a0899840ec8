#include "core/codepage.h"
#include "core/meter_report.h"

#include <cstddef>
#include <cstdint>

// Any text, any limit, either layout: the scan must neither crash nor read past the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const int limit = static_cast<int>((data[0] << 8) | data[1]) - 16;
    const bool kit = data[2] & 1;
    const QString text = tarvo::fromBoardBytes(
        QByteArray(reinterpret_cast<const char*>(data) + 3, static_cast<qsizetype>(size - 3)));
    const tarvo::MeterReport r = tarvo::scanMeterReport(text, limit, kit);
    // Fixed-width fields never grow beyond their width.
    if (r.printerFirmware.size() > 9 || r.firmwareVersion.size() > 9 || r.serialNumber.size() > 8) {
        __builtin_trap();
    }
    return 0;
}
