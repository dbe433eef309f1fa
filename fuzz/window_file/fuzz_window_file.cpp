// The window file reader: any text parses or is refused without crashing,
// and what it read writes back into a text that reads the same.
#include "platform/windows/windows.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    namespace win = platform::windows;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto w = win::Parse_Window_File(5, text);
    if (!w) return 0;
    if (w->pid <= 0) std::abort();
    // A line break, or a carriage return ending a line, cannot be written
    // back as it was read.
    const auto unwritable = [](const std::string& line) {
        return line.find('\n') != std::string::npos || (!line.empty() && line.back() == '\r');
    };
    if (unwritable(w->window_class) || unwritable(w->title)) return 0;
    auto again = win::Parse_Window_File(5, win::Window_File_Text(*w));
    if (!again || again->pid != w->pid || again->window_class != w->window_class || again->title != w->title)
        std::abort();
    return 0;
}
