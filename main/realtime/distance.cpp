// The small geodesy of real-time tracking and the CEP calculator: the
// great-circle distance by the spherical law of cosines (60 nautical miles
// of 1.1515 statute miles to a degree of arc) and the plane azimuth of
// travel in longitude and latitude degrees.
#include "main/realtime/realtime.h"

#include "platform/text/vb.h"

#include <algorithm>
#include <cmath>

namespace realtime {

namespace {
constexpr double kPi = 3.14159265358979;
} // namespace

double deg2rad(double x) { return x * kPi / 180.0; }
double rad2deg(double x) { return x * 180.0 / kPi; }

double acos(double x)
{
    if (x == -1.0) return kPi;
    if (x == 1.0) return 0.0;
    return kPi / 2.0 - std::atan(x / std::sqrt(1.0 - x * x));
}

double Calculate_Distance(double lon1, double lat1, double lon2, double lat2, std::string_view unit)
{
    // The same position is 0 apart; the formula's rounding would leave a
    // residue of up to a tenth of a metre.
    if (lon1 == lon2 && lat1 == lat2) return 0.0;
    const double theta = lon1 - lon2;
    double c = std::sin(deg2rad(lat1)) * std::sin(deg2rad(lat2)) +
               std::cos(deg2rad(lat1)) * std::cos(deg2rad(lat2)) * std::cos(deg2rad(theta));
    // Rounding can push the cosine of two (nearly) identical positions just
    // past 1, where the arc cosine has no value; those positions are 0 apart.
    c = std::clamp(c, -1.0, 1.0);
    double dist = rad2deg(realtime::acos(c)) * 60.0 * 1.1515;
    const std::string u = platform::vb::UCase(unit);
    if (u == "K") return dist * 1.609344;
    if (u == "N") return dist * 0.8684;
    return dist;
}

double Calculate_Azimuth(double lon1, double lat1, double lon2, double lat2)
{
    const double dx = lon2 - lon1, dy = lat2 - lat1;
    double az = 0;
    if (dx == 0) {
        az = dy < 0 ? 180.0 : 360.0;
    } else {
        const double a = std::atan(dy / dx) * 57.2958;
        if (dx > 0)
            az = dy >= 0 ? 90.0 - a : 90.0 + std::fabs(a);
        else
            az = dy <= 0 ? 270.0 - a : 270.0 + std::fabs(a);
    }
    const std::int16_t whole = platform::vb::CInt(az);
    return whole == 0 ? 360.0 : double(whole);
}

} // namespace realtime
