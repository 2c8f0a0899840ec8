#include "core/text_lines_file.h"

#include <cstddef>
#include <cstdint>

// Any bytes as a location or law file: the reader must neither crash nor return other than
// the asked number of lines, and a file it accepts must come back from a save unchanged in
// what the boxes show.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int count = data[0] % 2 ? 8 : 4;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1,
                           static_cast<qsizetype>(size - 1));
    const tarvo::textfile::Lines read = tarvo::textfile::readLines(bytes, count);
    const bool text = read.problem == tarvo::textfile::Problem::None;
    if (read.lines.size() != (text ? count : 0)) {
        __builtin_trap();
    }
    if (!text) {
        return 0;
    }
    // CR LF may make a saved file longer than the one read; only a file that fits must load.
    const QByteArray saved = tarvo::textfile::writeLines(read.lines);
    const tarvo::textfile::Lines again = tarvo::textfile::readLines(saved, count);
    if (saved.size() <= tarvo::textfile::kMaxBytes &&
        (again.problem != tarvo::textfile::Problem::None || again.lines != read.lines)) {
        __builtin_trap();
    }
    return 0;
}
