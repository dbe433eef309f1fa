// Distance and azimuth of the real-time window.
#include "main/realtime/realtime.h"

#include <gtest/gtest.h>

#include <cmath>

using realtime::Calculate_Azimuth;
using realtime::Calculate_Distance;

TEST(Geodesy, DistanceOfOneDegreeOfLatitudeInEachUnit)
{
    EXPECT_NEAR(Calculate_Distance(-93, 45, -93, 46, ""), 69.09, 1e-9);
    EXPECT_NEAR(Calculate_Distance(-93, 45, -93, 46, "M"), 69.09, 1e-9);
    EXPECT_NEAR(Calculate_Distance(-93, 45, -93, 46, "K"), 111.18957696, 1e-9);
    EXPECT_NEAR(Calculate_Distance(-93, 45, -93, 46, "k"), 111.18957696, 1e-9);
    EXPECT_NEAR(Calculate_Distance(-93, 45, -93, 46, "N"), 59.997756, 1e-9);
    EXPECT_EQ(Calculate_Distance(-93.1, 45.1, -93.1, 45.1, "K"), 0.0);
    // Nearly the same position: a small distance, never NaN.
    const double d = Calculate_Distance(-93.1, 45.1, -93.1 + 1e-12, 45.1, "K");
    EXPECT_FALSE(std::isnan(d));
    EXPECT_LT(d, 1e-3);
}

TEST(Geodesy, AzimuthQuadrantsRoundingAndNorth)
{
    EXPECT_EQ(Calculate_Azimuth(0, 0, 1, 1), 45);
    EXPECT_EQ(Calculate_Azimuth(0, 0, 1, 0), 90);
    EXPECT_EQ(Calculate_Azimuth(0, 0, 1, -1), 135);
    EXPECT_EQ(Calculate_Azimuth(0, 0, 0, -1), 180);
    EXPECT_EQ(Calculate_Azimuth(0, 0, -1, -1), 225);
    EXPECT_EQ(Calculate_Azimuth(0, 0, -1, 0), 270);
    EXPECT_EQ(Calculate_Azimuth(0, 0, -1, 1), 315);
    EXPECT_EQ(Calculate_Azimuth(0, 0, 0, 1), 360);
    EXPECT_EQ(Calculate_Azimuth(0, 0, 0, 0), 360);
    // Just east of north rounds to 0, which is 360.
    EXPECT_EQ(Calculate_Azimuth(0, 0, 0.001, 1), 360);
    EXPECT_EQ(realtime::acos(1), 0.0);
    EXPECT_EQ(realtime::acos(-1), 3.14159265358979);
    EXPECT_EQ(realtime::deg2rad(180), 3.14159265358979);
}
