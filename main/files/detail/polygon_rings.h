// Polygon rings as the shapefile format wants them: closed, outer rings
// clockwise and holes counter-clockwise.
#pragma once

#include <vector>

namespace files::detail {

struct Pt {
    double x, y;
    bool operator==(const Pt&) const = default;
};

// Twice the signed area: positive for a counter-clockwise ring (y up).
double signed_area2(const std::vector<Pt>& ring);
// Whether p lies inside the ring (even-odd rule).
bool inside(const Pt& p, const std::vector<Pt>& ring);
// A copy of the rings, each closed by repeating its first point when the
// last differs; a ring inside an odd number of the other rings is a hole
// and runs counter-clockwise, every other ring runs clockwise.
std::vector<std::vector<Pt>> normalized_rings(std::vector<std::vector<Pt>> rings);

} // namespace files::detail
