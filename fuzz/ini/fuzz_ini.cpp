// The settings file reader: any text reads without crashing, and what it
// read writes back into a text that reads the same.
#include "platform/settings/ini.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::IniDocument doc = platform::parse_ini(text);
    std::string written = platform::write_ini(doc);
    platform::IniDocument again = platform::parse_ini(written);
    size_t n = 0;
    for (const auto& s : doc.sections) {
        if (s.entries.empty())
            continue; // empty sections are not written
        const platform::IniSection* t = again.find(s.name);
        if (!t || t->entries != s.entries)
            std::abort();
        ++n;
    }
    if (n != again.sections.size())
        std::abort();
    return 0;
}
