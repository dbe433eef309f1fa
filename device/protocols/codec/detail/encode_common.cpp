#include "device/protocols/codec/detail/encode_common.h"

#include "device/protocols/codec/conversions.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace brenvik::encode_detail {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int month_days(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Splits "n<sep>n<sep>n" (two or three numbers) into digits-only groups.
bool split_numbers(std::string_view s, std::string_view seps, int (&out)[3], int& count,
                   int (&widths)[3])
{
    count = 0;
    std::size_t i = 0;
    while (true) {
        if (count == 3)
            return false;
        std::size_t start = i;
        int value = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            if (i - start >= 4)
                return false;
            value = value * 10 + (s[i] - '0');
            ++i;
        }
        if (i == start)
            return false;
        widths[count] = static_cast<int>(i - start);
        out[count++] = value;
        if (i == s.size())
            return true;
        if (seps.find(s[i]) == std::string_view::npos)
            return false;
        ++i;
    }
}

} // namespace

void Write_Lat(FieldWriter& w, std::size_t offset, double degrees)
{
    if (!std::isnan(degrees))
        degrees = std::clamp(degrees, -90.0, 90.0);
    w.Long(offset, Degrees_To_Semicircles(degrees));
}

void Write_Lon(FieldWriter& w, std::size_t offset, double degrees)
{
    w.Long(offset, Degrees_To_Semicircles(degrees));
}

void Write_Alt16(FieldWriter& w, std::size_t offset, float metres)
{
    if (std::isnan(metres))
        return;
    double v = std::clamp(static_cast<double>(metres), -32768.0, 32767.0);
    double r = std::floor(v);
    const double frac = v - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    w.Int16(offset, static_cast<std::int16_t>(r));
}

std::optional<std::uint32_t> Device_Seconds(std::string_view time_text)
{
    // The date is the first 10 characters, the time of day what follows the
    // separator at the 11th.
    const std::string_view date = trim(time_text.substr(0, std::min<std::size_t>(10, time_text.size())));
    const std::string_view clock = time_text.size() > 11 ? trim(time_text.substr(11)) : std::string_view{};

    int d[3] = {}, dw[3] = {}, dn = 0;
    if (!split_numbers(date, "/-.", d, dn, dw) || dn != 3)
        return std::nullopt;
    int year, month, day;
    if (dw[0] == 4) { // yyyy/mm/dd
        year = d[0]; month = d[1]; day = d[2];
    } else if (dw[2] == 4) { // mm/dd/yyyy
        month = d[0]; day = d[1]; year = d[2];
    } else {
        return std::nullopt;
    }
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > month_days(year, month))
        return std::nullopt;

    int t[3] = {}, tw[3] = {}, tn = 0;
    if (!clock.empty()) {
        if (!split_numbers(clock, ":", t, tn, tw) || tn < 2)
            return std::nullopt;
        if (t[0] > 23 || t[1] > 59 || t[2] > 59)
            return std::nullopt;
    }
    const std::int64_t base = days_from_civil(1989, 12, 31);
    const std::int64_t s = (days_from_civil(year, month, day) - base) * 86400
                         + t[0] * 3600 + t[1] * 60 + t[2];
    if (s < 0 || s > 0xFFFFFFFFLL)
        return std::nullopt;
    return static_cast<std::uint32_t>(s);
}

std::uint32_t Record_Seconds(std::int32_t seconds, std::string_view time_text)
{
    if (seconds != 0)
        return static_cast<std::uint32_t>(seconds);
    return Device_Seconds(time_text).value_or(0);
}

std::size_t Text_Bytes(std::vector<std::string*> const& texts)
{
    std::size_t n = 0;
    for (const std::string* t : texts)
        n += t->size();
    return n;
}

void Fit_Texts(std::vector<std::string*> const& texts, std::size_t room)
{
    const std::size_t nuls = texts.size();
    const std::size_t limit = room > nuls ? room - nuls : 0;
    std::size_t total = Text_Bytes(texts);
    for (auto it = texts.rbegin(); it != texts.rend() && total > limit; ++it) {
        std::string& t = **it;
        const std::size_t cut = std::min(t.size(), total - limit);
        t.resize(t.size() - cut);
        total -= cut;
    }
}

} // namespace brenvik::encode_detail
