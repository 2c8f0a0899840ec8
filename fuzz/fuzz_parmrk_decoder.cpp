#include "platform/parmrk_decoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Any marked stream, cut into reads anywhere: the decoded items never depend on where the
// reads were cut, and a stream without 0xFF comes out unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const QByteArray stream(reinterpret_cast<const char*>(data) + 1,
                            static_cast<qsizetype>(size - 1));
    const qsizetype cut = 1 + data[0] % 7;

    std::vector<tarvo::ParmrkDecoder::Item> whole, pieces;
    tarvo::ParmrkDecoder one, many;
    one.feed(stream, whole);
    for (qsizetype at = 0; at < stream.size(); at += cut) {
        many.feed(stream.mid(at, cut), pieces);
    }
    if (whole != pieces || whole.size() > static_cast<size_t>(stream.size())) {
        __builtin_trap();
    }
    std::vector<tarvo::ParmrkDecoder::Item> plain;
    for (const char ch : stream) {
        plain.push_back({tarvo::ParmrkDecoder::Item::Kind::Char, static_cast<unsigned char>(ch)});
    }
    if (!stream.contains('\xFF') && whole != plain) {
        __builtin_trap();
    }
    return 0;
}
