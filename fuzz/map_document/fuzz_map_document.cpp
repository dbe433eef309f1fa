// The map host's document reader and the projection text reader: any bytes
// load or fail with a VbError, never crash or throw anything else.
#include "platform/arcobjects/document_json.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    namespace ao = platform::arcobjects;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        (void)ao::SpatialReference::FromText(text);
    } catch (const platform::VbError&) {
    }
    const ao::Json doc = ao::Json::parse(text, nullptr, false);
    if (doc.is_discarded()) return 0;
    static platform::ClassRegistry registry;
    auto app = std::make_shared<ao::MxApplication>(registry);
    try {
        ao::Load_Document(*app, doc, "/nonexistent-folder");
        (void)ao::Dump(*app);
    } catch (const platform::VbError&) {
    }
    return 0;
}
