// Plain-ASCII helpers for names in files the program keeps (settings and
// profile sections and keys): comparing without regard to letter case and
// trimming blanks. Bytes outside A-Z compare as they are.
#pragma once

#include <string>
#include <string_view>

namespace platform {

char ascii_lower(char c);
bool iequals(std::string_view a, std::string_view b);
// The text in lower case (A-Z only), for keying maps by iequals.
std::string ascii_lower(std::string_view s);
// Without blanks, tabs and carriage returns at either end.
std::string_view trim_blanks(std::string_view s);

} // namespace platform
