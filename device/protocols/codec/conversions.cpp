#include "device/protocols/codec/conversions.h"

#include "device/protocols/codec/fields.h"

#include <algorithm>
#include <cmath>

namespace brenvik {

std::string Packet_To_String(PacketView packet, int Start, int Length, bool Whole)
{
    if (Length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(Length), ' ');
    const PacketView field = Packet_Bytes(packet, Start, Length);
    for (std::size_t k = 0; k < field.size(); ++k) {
        if (!Whole && field[k] == 0)
            break;
        text[k] = static_cast<char>(field[k]);
    }
    return text;
}

std::int32_t Degrees_To_Semicircles(double degrees)
{
    if (!std::isfinite(degrees))
        return 0;
    if (degrees < -180.0 || degrees >= 180.0) {
        // fmod is exact, and so is the one step back into range.
        degrees = std::fmod(degrees, 360.0);
        if (degrees >= 180.0)
            degrees -= 360.0;
        else if (degrees < -180.0)
            degrees += 360.0;
    }
    constexpr double scale = 2147483648.0 / 180.0;
    double s = degrees * scale;
    // Round half to even without depending on the floating-point mode.
    double r = std::floor(s);
    const double frac = s - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    // Just below 180 may round up to 2^31: that is -180, the same meridian.
    if (r >= 2147483648.0)
        r -= 4294967296.0;
    if (r < -2147483648.0)
        r = -2147483648.0;
    return static_cast<std::int32_t>(r);
}

double Semicircles_To_Degrees(std::int32_t semicircles)
{
    return static_cast<double>(semicircles) * (180.0 / 2147483648.0);
}

std::int32_t Address_Of(std::int32_t pfn)
{
    return pfn;
}

std::string Hex_Dump(PacketView bytes, int Count)
{
    if (Count <= 0)
        return {};
    const std::size_t n = std::min(bytes.size(), static_cast<std::size_t>(Count));
    return Bytes_To_Hex(bytes.first(n));
}

void String_To_Packet(std::string_view text, std::span<std::uint8_t> bytes)
{
    for (auto& b : bytes)
        b = 0x20;
    const std::size_t n = std::min(text.size(), bytes.size());
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(text[i]);
}

std::string Device_Time(std::uint32_t seconds)
{
    // Days since 1970-01-01 of the base moment 1989-12-31.
    constexpr std::int64_t base_days = 7304;
    const std::int64_t days = base_days + seconds / 86400;
    const std::uint32_t rest = seconds % 86400;
    // Civil date from a day count (proleptic Gregorian calendar).
    const std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    // "yyyy/mm/dd-hh:mm:ss"; the year never exceeds 2126.
    std::string text = "0000/00/00-00:00:00";
    auto put = [&text](std::size_t at, unsigned v, int digits) {
        for (int k = digits - 1; k >= 0; --k, v /= 10)
            text[at + static_cast<std::size_t>(k)] = static_cast<char>('0' + v % 10);
    };
    put(0, static_cast<unsigned>(year), 4);
    put(5, static_cast<unsigned>(month), 2);
    put(8, static_cast<unsigned>(day), 2);
    put(11, rest / 3600, 2);
    put(14, rest / 60 % 60, 2);
    put(17, rest % 60, 2);
    return text;
}

} // namespace brenvik
