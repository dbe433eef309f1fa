#include "device/protocols/codec/detail/data_reader.h"

#include "platform/text/cp1252.h"

#include <algorithm>
#include <string_view>

namespace brenvik::detail {

namespace {

std::string_view chars(PacketView bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string_view trim_blanks(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string Data::text(int o, int width, bool trim, bool pad, bool whole) const
{
    if (!has(o, 1) || width <= 0)
        return {};
    if (pad) // the field as Packet_To_String gives it: blanks after a NUL
        return platform::cp1252_to_utf8(Packet_To_String(p, at(o), width, whole));
    PacketView field = Packet_Bytes(p, at(o), width);
    if (!whole)
        field = field.first(static_cast<std::size_t>(
            std::find(field.begin(), field.end(), std::uint8_t{0}) - field.begin()));
    std::string_view s = chars(field);
    if (trim)
        s = trim_blanks(s);
    return platform::cp1252_to_utf8(s);
}

std::string Data::cstring(int o) const
{
    const PacketView tail = Packet_Tail(p, at(o));
    const auto nul = std::find(tail.begin(), tail.end(), std::uint8_t{0});
    return platform::cp1252_to_utf8(chars(tail.first(static_cast<std::size_t>(nul - tail.begin()))));
}

std::string time_text(const Data& d, int o)
{
    if (!d.has(o, 4))
        return {};
    return Device_Time(static_cast<std::uint32_t>(d.i32(o)));
}

std::optional<std::string> String_Run::next()
{
    const auto nul = std::find(rest_.begin(), rest_.end(), std::uint8_t{0});
    if (nul == rest_.end())
        return std::nullopt;
    const auto n = static_cast<std::size_t>(nul - rest_.begin());
    std::string text = platform::cp1252_to_utf8(chars(rest_.first(n)));
    rest_ = rest_.subspan(n + 1);
    return text;
}

std::string String_Run::take()
{
    if (auto text = next())
        return std::move(*text);
    std::string text = platform::cp1252_to_utf8(chars(rest_));
    rest_ = {};
    return text;
}

} // namespace brenvik::detail
