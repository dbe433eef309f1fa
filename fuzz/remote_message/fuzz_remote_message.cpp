// The remote automation stream: any bytes cut into frames and decoded give
// messages or a clean refusal, never a crash or an allocation the bytes
// merely claim. An answer decoded over arguments already there is taken
// or refused exactly as one decoded afresh, and refused leaves them as
// they were.
#include "platform/automation/remote.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Values compared as the wire carries them (a NaN equals itself there).
std::vector<std::uint8_t> wire(const std::vector<platform::Variant>& args)
{
    namespace rm = platform::remote;
    rm::Message m;
    m.kind = rm::Kind::Return;
    m.args = args;
    return rm::Encode(m, [](const platform::ObjectRef&) { return rm::WireObject{}; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    namespace rm = platform::remote;
    using platform::Variant;
    rm::FrameReader reader;
    reader.feed(std::span<const std::uint8_t>(data, size));
    std::vector<std::uint8_t> payload;
    auto in = [](const rm::WireObject&) -> platform::ObjectRef { return nullptr; };
    auto known = [](const rm::WireObject&) { return true; };
    while (reader.next(payload) == rm::FrameReader::Result::Frame) {
        auto m = rm::Decode(payload, in);
        if (m) {
            // What decodes encodes again.
            (void)rm::Encode(*m, [](const platform::ObjectRef&) { return rm::WireObject{}; });
        }
        if (payload[0] != static_cast<std::uint8_t>(rm::Kind::Return)) continue;
        // Over its own arguments (every array in place), and over others.
        std::vector<Variant> same = m ? m->args : std::vector<Variant>{};
        if (rm::Decode(payload, in, known, &same).has_value() != m.has_value()) std::abort();
        if (m && wire(same) != wire(m->args)) std::abort();
        platform::VariantArray pair(0, 2);
        const std::vector<Variant> before(m ? m->args.size() : 1, Variant(pair));
        std::vector<Variant> other = before;
        const bool taken = rm::Decode(payload, in, known, &other).has_value();
        if (taken != m.has_value() || (!taken && wire(other) != wire(before))) std::abort();
    }
    return 0;
}
