#include "platform/proj/detail/classic_definition.h"

#include <proj.h>

#include <charconv>
#include <cstring>
#include <vector>

namespace platform::proj_detail {
namespace {

// The datums the old library knew by name: each stands for an ellipsoid and
// a shift to WGS84 (three or seven parameters, or a grid list).
struct NamedDatum {
    const char* id;
    const char* ellps;
    const char* towgs84;   // or nullptr
    const char* nadgrids;  // or nullptr
};

constexpr NamedDatum kDatums[] = {
    {"WGS84", "WGS84", "0,0,0", nullptr},
    {"GGRS87", "GRS80", "-199.87,74.79,246.62", nullptr},
    {"NAD83", "GRS80", "0,0,0", nullptr},
    {"NAD27", "clrk66", nullptr, "@conus,@alaska,@ntv2_0.gsb,@ntv1_can.dat"},
    {"potsdam", "bessel", "598.1,73.7,418.2,0.202,0.045,-2.455,6.7", nullptr},
    {"carthage", "clrk80ign", "-263.0,6.0,431.0", nullptr},
    {"hermannskogel", "bessel", "577.326,90.129,463.919,5.137,1.474,5.297,2.4232", nullptr},
    {"ire65", "mod_airy", "482.530,-130.596,564.557,-1.042,-0.214,-0.631,8.15", nullptr},
    {"nzgd49", "intl", "59.47,-5.04,187.44,0.47,-0.1,1.024,-4.5993", nullptr},
    {"OSGB36", "airy", "446.448,-125.157,542.060,0.1502,0.2470,0.8421,-20.4894", nullptr},
};

constexpr int kUnknownEllipsoidName = -9;
constexpr int kNoArguments = -1;
constexpr int kProjectionNotNamed = -4;
constexpr int kUnparseable = -44;

// The parameters that shape the ellipsoid, as the geocentric steps need it
// (the spherical replacements such as +R_A change the projection only).
bool is_ellipsoid_key(std::string_view key)
{
    static constexpr std::string_view keys[] = {"ellps", "a", "b", "rf", "f", "es", "e", "R"};
    for (auto k : keys)
        if (key == k) return true;
    return false;
}

bool known_ellipsoid(std::string_view name)
{
    for (const PJ_ELLPS* e = proj_list_ellps(); e && e->id; ++e)
        if (name == e->id) return true;
    return false;
}

// Up to seven comma-separated numbers; missing ones are 0.
bool parse_towgs84(std::string_view s, std::array<double, 7>& out)
{
    out.fill(0.0);
    std::size_t i = 0;
    while (!s.empty()) {
        if (i == out.size()) return false;
        const auto comma = s.find(',');
        const auto item = s.substr(0, comma);
        const auto r = std::from_chars(item.data(), item.data() + item.size(), out[i]);
        if (r.ec != std::errc{} || r.ptr != item.data() + item.size()) return false;
        ++i;
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    return i >= 3;
}

void append(std::string& s, std::string_view token)
{
    if (!s.empty()) s += ' ';
    s += token;
}

} // namespace

ClassicDefinition parse_classic_definition(std::string_view text)
{
    ClassicDefinition d;
    std::vector<std::string_view> tokens;
    for (std::size_t i = 0; i < text.size();) {
        const auto end = text.find_first_of(" \t\r\n", i);
        const auto token = text.substr(i, end == std::string_view::npos ? text.size() - i : end - i);
        if (token.size() > 1 && token[0] == '+') tokens.push_back(token);
        if (end == std::string_view::npos) break;
        i = end + 1;
    }
    if (tokens.empty()) {
        d.error = kNoArguments;
        return d;
    }

    // The first occurrence of a key wins, as in the old parameter lists.
    std::string_view datum, towgs84, nadgrids;
    bool has_proj = false;
    for (auto token : tokens) {
        append(d.text, token);
        const auto body = token.substr(1);
        const auto eq = body.find('=');
        const auto key = body.substr(0, eq);
        const auto value = eq == std::string_view::npos ? std::string_view{} : body.substr(eq + 1);
        if (key == "type") continue;  // a CRS marker; the classic library builds projections
        if (key == "datum" || key == "towgs84" || key == "nadgrids") {
            auto& slot = key == "datum" ? datum : key == "towgs84" ? towgs84 : nadgrids;
            if (slot.empty()) slot = value.empty() ? std::string_view{" "} : value;
            continue;
        }
        if (key == "proj" && !value.empty()) has_proj = true;
        if (key == "ellps" && !known_ellipsoid(value)) {
            d.error = kUnknownEllipsoidName;
            return d;
        }
        if (is_ellipsoid_key(key)) append(d.ellipsoid, token);
        append(d.projection, token);
    }
    if (!has_proj) {
        d.error = kProjectionNotNamed;
        return d;
    }

    // A named datum supplies what the definition does not give itself.
    std::string datum_towgs84, datum_nadgrids;
    if (!datum.empty()) {
        const NamedDatum* found = nullptr;
        for (const auto& nd : kDatums)
            if (datum == nd.id) found = &nd;
        if (!found) {
            d.error = kUnknownEllipsoidName;
            return d;
        }
        const std::string ellps = std::string("+ellps=") + found->ellps;
        append(d.projection, ellps);
        append(d.ellipsoid, ellps);
        if (found->towgs84) datum_towgs84 = found->towgs84;
        if (found->nadgrids) datum_nadgrids = found->nadgrids;
    }
    if (nadgrids.empty() && !datum_nadgrids.empty()) nadgrids = datum_nadgrids;
    if (towgs84.empty() && !datum_towgs84.empty()) towgs84 = datum_towgs84;

    if (!nadgrids.empty()) {
        if (nadgrids == " ") {
            d.error = kUnparseable;
            return d;
        }
        d.datum = DatumKind::GridShift;
        d.nadgrids = std::string(nadgrids);
    } else if (!towgs84.empty()) {
        if (!parse_towgs84(towgs84, d.towgs84)) {
            d.error = kUnparseable;
            return d;
        }
        const bool rotates = d.towgs84[3] != 0 || d.towgs84[4] != 0 || d.towgs84[5] != 0 || d.towgs84[6] != 0;
        d.datum = rotates ? DatumKind::SevenParam : DatumKind::ThreeParam;
    }
    return d;
}

} // namespace platform::proj_detail
