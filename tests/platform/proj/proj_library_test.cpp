#include "tests/platform/proj/proj_test_support.h"

using namespace proj_test;

namespace {

class ProjLibraryTest : public ::testing::Test {
protected:
    ProgramFolder folder;
    std::unique_ptr<platform::ProjLibrary> lib = platform::make_proj_library(folder.path.string());

    int refusal(const std::string& definition)
    {
        const auto h = lib->pjInitPlus(definition);
        EXPECT_EQ(h, 0) << definition;
        lib->pjFree(h);
        return lib->pjErrNum();
    }
};

TEST_F(ProjLibraryTest, RefusedDefinitionsCarryTheClassicNumbers)
{
    EXPECT_EQ(refusal(""), -1);
    EXPECT_EQ(refusal("proj=utm zone=15 no_defs <>"), -1);
    EXPECT_EQ(refusal("+zone=15 +ellps=GRS80"), -4);
    EXPECT_EQ(refusal("+proj=nosuch +ellps=GRS80"), -5);
    EXPECT_EQ(refusal("+proj=utm +zone=15 +ellps=GRS80 +units=furlong"), -7);
    EXPECT_EQ(refusal("+proj=utm +zone=15 +ellps=nosuch"), -9);
    EXPECT_EQ(refusal("+proj=longlat +datum=nosuch"), -9);
    EXPECT_EQ(refusal("+proj=utm +zone=99 +ellps=GRS80"), -35);
    EXPECT_EQ(refusal("+proj=lcc +lat_1=0 +lat_2=0 +ellps=GRS80"), -44);
    EXPECT_EQ(refusal("+proj=utm +zone=15 +ellps=GRS80 +towgs84=1,x,3"), -44);
    EXPECT_EQ(lib->last_system_error(), 0);
}

TEST_F(ProjLibraryTest, ForwardAndInverseInRadiansAgreeWithThePeer)
{
    // cs2cs from the WGS84 source to NAD83 / UTM zone 15N.
    const auto r = forward(*lib, kUtm15Nad83, -93.5, 45.25);
    ASSERT_EQ(r.status, 0);
    EXPECT_NEAR(r.x, 460764.1033, 1e-3);
    EXPECT_NEAR(r.y, 5010844.4262, 1e-3);
    EXPECT_EQ(lib->pjErrNum(), 0);

    // Back again: radians out, the same point within far less than a millimetre.
    const auto back = convert(*lib, kUtm15Nad83, kWgs84, r.x, r.y);
    ASSERT_EQ(back.status, 0);
    EXPECT_NEAR(back.x, -93.5 * kDegToRad, 1e-11);
    EXPECT_NEAR(back.y, 45.25 * kDegToRad, 1e-11);

    // Geographic to geographic: radians through unchanged.
    const auto same = forward(*lib, "+proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs", -93.5, 45.25);
    ASSERT_EQ(same.status, 0);
    EXPECT_DOUBLE_EQ(same.x, -93.5 * kDegToRad);
    EXPECT_DOUBLE_EQ(same.y, 45.25 * kDegToRad);
}

TEST_F(ProjLibraryTest, TokensWithoutPlusAreIgnoredAndLatLongIsReported)
{
    const auto line = lib->pjInitPlus("<26915> +proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs  no_defs <>");
    const auto geo = lib->pjInitPlus(kWgs84);
    ASSERT_NE(line, 0);
    ASSERT_NE(geo, 0);
    EXPECT_NE(line, geo);
    EXPECT_EQ(lib->pjIsLatLong(line), 0);
    EXPECT_NE(lib->pjIsLatLong(geo), 0);
    EXPECT_EQ(lib->pjIsLatLong(0), 0);

    double x = -93.5 * kDegToRad, y = 45.25 * kDegToRad, z = 1.0;
    ASSERT_EQ(lib->pjTransform(geo, line, 1, 1, x, y, z), 0);
    EXPECT_NEAR(x, 460764.1033, 1e-3);

    // A freed handle is unknown: the transform fails and leaves the point alone.
    lib->pjFree(line);
    double x2 = 1.0, y2 = 2.0;
    EXPECT_NE(lib->pjTransform(geo, line, 1, 1, x2, y2, z), 0);
    EXPECT_EQ(x2, 1.0);
    EXPECT_EQ(y2, 2.0);
    lib->pjFree(geo);
}

TEST_F(ProjLibraryTest, LatitudeBeyondThePoleIsOutOfRange)
{
    const auto r = forward(*lib, kUtm15Nad83, -93.5, 95.0);
    EXPECT_EQ(r.status, -14);
    EXPECT_EQ(lib->pjErrNum(), -14);
    // The failure does not stick to the pair.
    EXPECT_EQ(forward(*lib, kUtm15Nad83, -93.5, 45.25).status, 0);
}

TEST_F(ProjLibraryTest, RequiredGridFoundNowhereFailsTheTransformNotTheDefinition)
{
    const std::string nad27 = "+proj=utm +zone=15 +ellps=clrk66 +datum=NAD27 +units=m +no_defs";
    const auto missing = forward(*lib, nad27 + " +nadgrids=trekfold_nosuch.dat", -93.5, 45.25);
    EXPECT_EQ(missing.status, -38);
    EXPECT_EQ(lib->pjErrNum(), -38);

    // Optional grids that are missing leave the point where "@null" puts it:
    // no datum shift, only the target's own ellipsoid.
    const auto plain = forward(*lib, "+proj=utm +zone=15 +ellps=clrk66 +units=m +no_defs", -93.5, 45.25);
    const auto optional = forward(*lib, nad27 + " +nadgrids=@trekfold_nosuch.dat", -93.5, 45.25);
    const auto null_grid = forward(*lib, nad27 + " +nadgrids=@trekfold_nosuch.dat,@null", -93.5, 45.25);
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(optional.status, 0);
    ASSERT_EQ(null_grid.status, 0);
    EXPECT_NEAR(optional.x, plain.x, 1e-6);
    EXPECT_NEAR(null_grid.y, plain.y, 1e-6);
}

TEST_F(ProjLibraryTest, DatumShiftsRunThroughWgs84)
{
    // Same datum on both sides: no shift, whatever the projection.
    const std::string nad83_geo = "+proj=longlat +ellps=GRS80 +datum=NAD83 +no_defs";
    const auto r = convert(*lib, nad83_geo, kUtm15Nad83, -93.5 * kDegToRad, 45.25 * kDegToRad);
    const auto direct = convert(*lib, "+proj=longlat +ellps=GRS80 +no_defs", "+proj=utm +zone=15 +ellps=GRS80 +units=m",
                                -93.5 * kDegToRad, 45.25 * kDegToRad);
    ASSERT_EQ(r.status, 0);
    EXPECT_NEAR(r.x, direct.x, 1e-6);

    // A three-parameter shift moves a point by about its length.
    const auto shifted = forward(*lib, "+proj=utm +zone=15 +ellps=WGS84 +towgs84=100,0,0 +units=m", -93.5, 45.25);
    const auto unshifted = forward(*lib, "+proj=utm +zone=15 +ellps=WGS84 +units=m", -93.5, 45.25);
    ASSERT_EQ(shifted.status, 0);
    const double moved = std::hypot(shifted.x - unshifted.x, shifted.y - unshifted.y);
    EXPECT_GT(moved, 95.0);
    EXPECT_LT(moved, 101.0);
}

} // namespace
