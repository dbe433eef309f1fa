// The great-circle distance used by the tolerance filter of real-time
// tracking and by the CEP calculator: the spherical law of cosines in
// degrees of arc, 60 nautical minutes of 1.1515 statute miles each.
#include "main/realtime/realtime.h"

#include "platform/text/vb.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace realtime {

namespace {
double deg2rad(double deg) { return deg * std::numbers::pi / 180.0; }
double rad2deg(double rad) { return rad * 180.0 / std::numbers::pi; }
} // namespace

double Calculate_Distance(double lon1, double lat1, double lon2, double lat2, std::string_view unit)
{
    // The same position is 0 apart; the formula's rounding would leave a
    // residue of up to a tenth of a metre.
    if (lon1 == lon2 && lat1 == lat2) return 0.0;
    const double theta = lon2 - lon1;
    double c = std::sin(deg2rad(lat1)) * std::sin(deg2rad(lat2)) +
               std::cos(deg2rad(lat1)) * std::cos(deg2rad(lat2)) * std::cos(deg2rad(theta));
    // Rounding can push the cosine of two (nearly) identical positions just
    // past 1, where the arc cosine has no value; those positions are 0 apart.
    c = std::clamp(c, -1.0, 1.0);
    double dist = rad2deg(std::acos(c)) * 60.0 * 1.1515;
    const std::string u = platform::vb::UCase(unit);
    if (u == "K") return dist * 1.609344;
    if (u == "N") return dist * 0.8684;
    return dist;
}

} // namespace realtime
