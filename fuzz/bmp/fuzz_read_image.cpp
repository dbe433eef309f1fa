// ReadImage with one reader: the bytes after the first, their first bytes
// replaced by the reader's mark (FUZZ_MARK: "BM", "II" or "GIF89a"; or
// FUZZ_MARK_BYTES, the JPEG or PNG signature as numbers), are drawn into a small canvas at an offset taken
// from the first byte.
#include "imaging/glimmerax.h"
#include "platform/automation/variant.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static platform::ObjectRef o = [] {
        platform::ObjectRef obj = glimmerax::CreateImageObject();
        std::vector<platform::Variant> a{platform::Variant(std::int32_t(24)), platform::Variant(std::int32_t(16)),
                                         platform::Variant(std::int32_t(2)), {}};
        obj->Invoke(1, platform::InvokeKind::Method, a);
        return obj;
    }();
    if (size < 1) return 0;
    platform::Bytes b(data + 1, data + size);
#ifdef FUZZ_MARK_BYTES
    static const std::uint8_t mark[] = {FUZZ_MARK_BYTES};
    const std::size_t n = sizeof mark;
#else
    static const char mark[] = FUZZ_MARK;
    const std::size_t n = sizeof mark - 1;
#endif
    for (std::size_t i = 0; i < n && i < b.size(); ++i) b[i] = std::uint8_t(mark[i]);
    std::int32_t x = std::int32_t(data[0] & 15) - 8, y = std::int32_t(data[0] >> 4) - 8;
    std::vector<platform::Variant> a{platform::Variant(std::move(b)), {}, platform::Variant(x), platform::Variant(y),
                                     platform::Variant::Missing(), {}, {}};
    o->Invoke(*o->GetIDOfName("ReadImage"), platform::InvokeKind::Method, a);
    return 0;
}
