// The conversation line reader and message decoder: any bytes, fed in any
// split, give lines no longer than the limit, and every decoded message
// encodes to a line that decodes the same.
#include "platform/dde/dde.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    namespace dde = platform::dde;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    dde::LineReader reader;
    std::size_t split = size ? data[0] % 17 + 1 : 1;
    std::string line;
    for (std::size_t off = 0; off < bytes.size(); off += split) {
        reader.feed(bytes.substr(off, split));
        for (;;) {
            auto r = reader.next(line);
            if (r != dde::LineReader::Result::Line) break;
            if (line.size() > dde::kMaxLine) std::abort();
            if (auto m = dde::Decode(line)) {
                auto again = dde::Decode(dde::Encode(*m));
                if (!again || again->op != m->op || again->item != m->item || again->data != m->data) std::abort();
            }
            (void)dde::Decode_Answer(line);
        }
    }
    return 0;
}
