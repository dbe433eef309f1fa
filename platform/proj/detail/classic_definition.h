// A classic definition text taken apart the way the old library read it:
// the "+" tokens, the datum (+datum, +towgs84, +nadgrids) set aside for the
// shift through WGS84, and what is left for PROJ to build the projection.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace platform::proj_detail {

enum class DatumKind { Unknown, Wgs84, ThreeParam, SevenParam, GridShift };

struct ClassicDefinition {
    std::string text;        // the "+" tokens joined by one blank: the cache key
    std::string projection;  // the tokens PROJ builds the projection from
    std::string ellipsoid;   // the ellipsoid tokens alone, for geocentric steps
    DatumKind datum = DatumKind::Unknown;
    std::array<double, 7> towgs84{};  // dx dy dz (m), rx ry rz (arc seconds), ds (ppm)
    std::string nadgrids;             // the grid list as written, for GridShift
    int error = 0;                    // classic error number when refused here
};

ClassicDefinition parse_classic_definition(std::string_view text);

} // namespace platform::proj_detail
