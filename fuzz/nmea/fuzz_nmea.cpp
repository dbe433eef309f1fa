// The sentence table and the point conversions: any bytes, line by line,
// give at most the table's values for the line's fields and never read past
// the line; the conversions of any field texts end cleanly.
#include "main/realtime/nmea.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t from = 0;
    realtime::NMEAValues values;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(from, end - from);
        from = end + 1;
        const auto fields = realtime::NMEA_Fields(line);
        const auto found = realtime::NMEA_Values(line);
        if (found.size() > 10 || found.size() > fields.size()) std::abort();
        for (const auto& v : found) realtime::Collection_SetVal(values, v.value, v.key);
        for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
            for (auto d : {realtime::NMEA_Latitude(fields[i], fields[i + 1]),
                           realtime::NMEA_Longitude(fields[i], fields[i + 1])})
                if (d && !std::isfinite(*d)) std::abort();
            realtime::NMEA_Date(fields[i]);
            realtime::NMEA_Time(fields[i]);
        }
    }
    // Each key once, whatever came.
    if (values.Count() > 24) std::abort();
    return 0;
}
