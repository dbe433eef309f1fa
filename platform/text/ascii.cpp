#include "platform/text/ascii.h"

namespace platform {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    return true;
}

std::string ascii_lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = ascii_lower(c);
    return out;
}

std::string_view trim_blanks(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace platform
