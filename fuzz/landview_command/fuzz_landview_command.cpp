// LandView's incoming messages: any text gives fields no longer than the
// text and free of commas, and the command it dispatches to is one of the
// table's codes spelt as its first field.
#include "main/links/gis_links.h"
#include "platform/text/vb.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (int n = 1; n <= 8; ++n) {
        const std::string field = links::LV_GetTheWord(text, n);
        if (field.size() > text.size() || field.find(',') != std::string::npos) std::abort();
    }
    const std::string code = links::LV_CommandCode(text);
    if (!code.empty() && (text.size() < 3 || code != platform::vb::UCase(links::LV_GetTheWord(text, 1)))) std::abort();
    return 0;
}
