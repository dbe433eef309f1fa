// The receiver limits file: any text, looked up for a model, gives limits,
// none, or a VbError; it never crashes.
// Input: up to the first NUL byte the model, the rest the file's text.
#include "arcmap/detail/arcmap_object.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const auto nul = all.find('\0');
    const std::string model(all.substr(0, nul));
    const std::string_view text = nul == std::string_view::npos ? std::string_view() : all.substr(nul + 1);
    try {
        (void)trekfold_arcmap::detail::Garmin_Limits(text, model);
    } catch (const platform::VbError&) {
        // A matching line that is no entry.
    }
    return 0;
}
