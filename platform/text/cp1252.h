// Windows-1252, the receiver's and dBASE's code page, to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Each byte becomes one character; the five undefined codes map to U+FFFD.
std::string cp1252_to_utf8(std::string_view bytes);
// Each character becomes one byte; characters with no code become '?'.
// Malformed UTF-8 sequences become '?' too.
std::string utf8_to_cp1252(std::string_view utf8);

} // namespace platform
