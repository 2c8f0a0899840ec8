#include "core/rx_interpreter.h"

#include <cstddef>
#include <cstdint>

// Any byte stream: the interpreter only ever appends shown characters and stays in range.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarvo::RxInterpreter rx;
    for (size_t i = 0; i < size; ++i) {
        const tarvo::RxEffect e = rx.feed(data[i]);
        const auto ch = static_cast<unsigned char>(e.ch);
        if ((e.kind == tarvo::RxEffect::Append && (ch < 20 || ch > 127)) || rx.state() < 0) {
            __builtin_trap();
        }
    }
    return 0;
}
