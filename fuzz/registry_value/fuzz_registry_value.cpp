// The registry's value types: any stored text reads as a number, another
// type or a text, or is refused, without crashing; a number writes back as
// "dword:" and reads the same, and a text whose NULs are written back as
// "\0" is the stored text again. The same bytes read as a registry file
// answer a look-up without crashing.
#include "platform/registry/registry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    std::string_view stored(reinterpret_cast<const char*>(data), size);
    const bool dword = stored.substr(0, 6) == "dword:", hex = stored.substr(0, 4) == "hex(";
    const auto v = platform::Parse_Registry_Value(stored);
    if (!v) {
        if (!dword && !hex) std::abort(); // only the typed forms may be refused
    } else if (dword) {
        if (v->type != 4) std::abort();
        char again[16];
        std::snprintf(again, sizeof again, "dword:%08x", v->number);
        const auto w = platform::Parse_Registry_Value(again);
        if (!w || w->type != 4 || w->number != v->number) std::abort();
    } else if (hex) {
        if (v->type < 0 || v->type > 0xffff) std::abort();
    } else {
        if (v->type != 1 || v->text.size() > stored.size()) std::abort();
        if (stored.find('\0') == std::string_view::npos) {
            std::string back;
            for (char c : v->text) back += c == '\0' ? std::string("\\0") : std::string(1, c);
            if (back != stored) std::abort();
        }
    }
    const auto doc = platform::Registry::From_Text(stored);
    (void)doc.Value("HKEY_LOCAL_MACHINE", "SOFTWARE\\ESRI\\ArcGIS", "RealVersion");
    return 0;
}
