// The sentence table: one row per identifier, each field it reads with its
// key and how the value is taken.
#include "main/realtime/nmea.h"

#include "platform/text/vb.h"

#include <array>
#include <cmath>
#include <initializer_list>

namespace realtime {

namespace vb = platform::vb;
using platform::Variant;

namespace {

enum class Take {
    Text,       // the field's text
    Number,     // Val of the text
    BeforeStar, // the text up to the first "*"
    Feet,       // Val of the text, feet to metres
};

struct Field {
    std::size_t number;
    const char* key;
    Take take;
};

struct Sentence {
    const char* identifier;
    std::initializer_list<Field> fields;
};

constexpr double kFeetPerMetre = 3.28084;

using T = Take;
const std::array<Sentence, 13> kSentences = {{
    {"$GPGGA", {{1, "time", T::Text}, {2, "lat", T::Text}, {3, "lat_dir", T::Text}, {4, "long", T::Text},
                {5, "long_dir", T::Text}, {6, "pfix", T::Text}, {8, "hdop", T::Text}, {9, "alt", T::Text}}},
    {"$GPGLL", {{1, "lat", T::Text}, {2, "lat_dir", T::Text}, {3, "long", T::Text}, {4, "long_dir", T::Text},
                {5, "time", T::Text}}},
    {"$GPGSA", {{1, "pfix", T::Text}, {15, "pdop", T::BeforeStar}, {16, "hdop", T::BeforeStar},
                {17, "vdop", T::BeforeStar}}},
    {"$GPGSV", {}},
    {"$GPRMC", {{1, "time", T::Text}, {3, "lat", T::Text}, {4, "lat_dir", T::Text}, {5, "long", T::Text},
                {6, "long_dir", T::Text}, {7, "speed", T::Number}, {8, "course", T::Text}, {9, "date", T::Text},
                {10, "mvar", T::Number}, {11, "mdir", T::BeforeStar}}},
    {"$GPVTG", {{5, "speed", T::Number}, {1, "course", T::Text}}},
    {"$GPDBT", {{3, "depth", T::Number}}},
    {"$SDDPT", {{1, "depth", T::Number}}},
    {"$SDDBT", {{3, "depth", T::Number}}},
    {"$SDMTW", {{1, "temp", T::Number}}},
    {"$PGRME", {{1, "eph", T::Text}, {3, "epv", T::Text}, {5, "epe", T::Text}}},
    {"$PGRMZ", {{1, "alt", T::Feet}}},
    {"$PGRMM", {{1, "datum", T::BeforeStar}}},
}};

Variant take(std::string_view text, Take how)
{
    switch (how) {
    case Take::Text:
        return std::string(text);
    case Take::Number:
        return vb::Val(text);
    case Take::BeforeStar:
        return std::string(text.substr(0, text.find('*')));
    case Take::Feet:
        return vb::Val(text) / kFeetPerMetre;
    }
    return {};
}

// A number part of a coordinate: digits with at most one decimal point.
bool plain_number(std::string_view s)
{
    bool digit = false, point = false;
    for (char c : s) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

// Degrees + minutes / 60, rounded through `pattern`, negated for `negative`.
// Minutes of 60 or more, or degrees beyond `limit`, are no position (a
// corrupted line, its checksum not being tested).
std::optional<double> degrees(std::string_view deg, std::string_view min, const char* pattern, bool negative,
                              double limit)
{
    if (!plain_number(deg) || !plain_number(min)) return std::nullopt;
    const double minutes = vb::Val(min);
    if (minutes >= 60.0) return std::nullopt;
    const double value = vb::Val(deg) + minutes / 60.0;
    const double rounded = vb::Val(vb::Format(value, pattern));
    if (rounded > limit) return std::nullopt;
    return negative ? -rounded : rounded;
}

} // namespace

std::vector<std::string_view> NMEA_Fields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = line.find(',', from);
        if (comma == std::string_view::npos) {
            out.push_back(line.substr(from));
            return out;
        }
        out.push_back(line.substr(from, comma - from));
        from = comma + 1;
    }
}

std::vector<NMEAValue> NMEA_Values(std::string_view line)
{
    std::vector<NMEAValue> out;
    if (line.find(',') == std::string_view::npos) return out;
    const std::vector<std::string_view> fields = NMEA_Fields(line);
    for (const Sentence& s : kSentences) {
        if (fields[0] != s.identifier) continue;
        for (const Field& f : s.fields)
            if (f.number < fields.size()) out.push_back({f.key, take(fields[f.number], f.take)});
        break;
    }
    return out;
}

NMEAValues& Collection_SetVal(NMEAValues& collection, Variant value, const std::string& key)
{
    // The item a key holds is replaced where it stands: the values are
    // only ever read by key, and removing an item re-numbers all behind it.
    if (const Variant* item = collection.Find(key))
        *const_cast<Variant*>(item) = std::move(value);  // the collection itself is not const
    else
        collection.Add(std::move(value), key);
    return collection;
}

std::optional<double> NMEA_Latitude(std::string_view text, std::string_view direction)
{
    if (text.size() < 3) return std::nullopt;
    return degrees(text.substr(0, 2), text.substr(2), "##.000000", vb::SameLCase(direction, "s"), 90.0);
}

std::optional<double> NMEA_Longitude(std::string_view text, std::string_view direction)
{
    std::size_t point = text.find('.');
    if (point == std::string_view::npos) point = text.size();
    if (point < 3) return std::nullopt;
    return degrees(text.substr(0, point - 2), text.substr(point - 2), "###.000000", vb::SameLCase(direction, "w"),
                   180.0);
}

std::string NMEA_Date(std::string_view ddmmyy)
{
    auto part = [&](std::size_t at) { return at < ddmmyy.size() ? std::string(ddmmyy.substr(at, 2)) : std::string(); };
    return part(2) + "/" + part(0) + "/20" + part(4);
}

std::string NMEA_Time(std::string_view hhmmss)
{
    return vb::Format(std::floor(vb::Val(hhmmss)), "00:00:00");
}

} // namespace realtime
