// Identification: any bytes give a kind and a size without crashing.
#include "imaging/glimmerax.h"
#include "platform/automation/variant.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static platform::ObjectRef o = glimmerax::CreateImageObject();
    std::vector<platform::Variant> a{platform::Variant(platform::Bytes(data, data + size)), {}, {}, {}, {}};
    platform::LetByName(*o, "AdvancedCheck", platform::Variant(size % 2 == 0));
    o->Invoke(*o->GetIDOfName("GetFileDimensions"), platform::InvokeKind::Method, a);
    return 0;
}
