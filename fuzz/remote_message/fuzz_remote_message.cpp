// The remote automation stream: any bytes cut into frames and decoded give
// messages or a clean refusal, never a crash or an allocation the bytes
// merely claim. An answer decoded over arguments already there is taken
// or refused exactly as one decoded afresh, and refused leaves them as
// they were. Each frame is also decoded under a small bound on its decoded
// size (taken from the input): what is taken stays within it, and the two
// ways of decoding agree on it.
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

// What a decoded value takes beyond its own Variant, counted as the decoder
// counts it.
std::uint64_t held(const platform::Variant& v)
{
    using platform::VarType;
    switch (v.Type()) {
    case VarType::String: return v.StringPtr()->size();
    case VarType::ByteArray: return v.BytesPtr()->size();
    case VarType::Array: {
        const auto& items = v.ToArray().items();
        std::uint64_t n = sizeof(platform::VariantArray) + items.size() * sizeof(platform::Variant);
        for (const auto& item : items) n += held(item);
        return n;
    }
    default: return 0;
    }
}

std::uint64_t decoded_size(const platform::remote::Message& m)
{
    std::uint64_t n = held(m.result) + m.source.size() + m.text.size() + m.args.size() * sizeof(platform::Variant);
    for (const auto& a : m.args) n += held(a);
    return n;
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
        // Under a bound of a few hundred bytes to a few times the payload.
        const std::uint64_t limit = std::uint64_t(payload.back()) * 64;
        auto bounded = rm::Decode(payload, in, known, nullptr, limit);
        if (bounded && (!m || decoded_size(*bounded) > limit)) std::abort();
        if (payload[0] == static_cast<std::uint8_t>(rm::Kind::Return)) {
            std::vector<platform::Variant> over = bounded ? bounded->args : std::vector<platform::Variant>{};
            if (rm::Decode(payload, in, known, &over, limit).has_value() != bounded.has_value()) std::abort();
        }
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
