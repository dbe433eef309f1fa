// GetImageInfo: any bytes fill an information object without crashing, and
// every name it lists can be asked for.
#include "imaging/glimmerax.h"
#include "platform/automation/enumerator.h"
#include "platform/automation/variant.h"
#include "platform/automation/vb_error.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static platform::ObjectRef o = glimmerax::CreateImageObject();
    std::vector<platform::Variant> a{platform::Variant(platform::Bytes(data, data + size)), platform::Variant::Missing(), {}};
    o->Invoke(*o->GetIDOfName("GetImageInfo"), platform::InvokeKind::Method, a);
    platform::ObjectRef info = a[2].ToObject();
    auto e = std::dynamic_pointer_cast<platform::Enumerator>(platform::GetByName(*info, "_NewEnum").ToObject());
    std::vector<platform::Variant> got;
    std::int32_t n = 0;
    while (e->Next(1, got) == platform::S_OK) {
        if (platform::GetByName(*info, "Item", {got[0]}).IsEmpty()) std::abort();
        ++n;
    }
    if (n != platform::GetByName(*info, "Count").ToInt32()) std::abort();
    return 0;
}
