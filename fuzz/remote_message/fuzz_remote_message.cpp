// The remote automation stream: any bytes cut into frames and decoded give
// messages or a clean refusal, never a crash or an allocation the bytes
// merely claim.
#include "platform/automation/remote.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    namespace rm = platform::remote;
    rm::FrameReader reader;
    reader.feed(std::span<const std::uint8_t>(data, size));
    std::vector<std::uint8_t> payload;
    auto in = [](const rm::WireObject&) -> platform::ObjectRef { return nullptr; };
    while (reader.next(payload) == rm::FrameReader::Result::Frame) {
        if (auto m = rm::Decode(payload, in)) {
            // What decodes encodes again.
            (void)rm::Encode(*m, [](const platform::ObjectRef&) { return rm::WireObject{}; });
        }
    }
    return 0;
}
