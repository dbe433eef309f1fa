// NAD27 on the real library: grids made by gdal_create in the program
// folder's proj/nad give the same point as cs2cs with those files by path.
#include "tests/main/coords/harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

std::string run(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    return out;
}

TEST(CoordsPeer, Nad27GridsInTheProgramFolderMatchCs2cs)
{
    if (std::system("command -v gdal_create >/dev/null && command -v cs2cs >/dev/null") != 0)
        GTEST_SKIP() << "gdal_create or cs2cs missing";
    coordstest::Harness h({}, true);
    const std::string nad = h.folder + "/proj/nad/";
    for (const char* grid : {"conus.dat", "ntv1_can.dat"})
        ASSERT_EQ(std::system(("gdal_create -q -of NTv2 -ot Float32 -outsize 10 10 -bands 4 -a_srs EPSG:4267 "
                               "-a_ullr -100 50 -85 40 '" + nad + grid + "'").c_str()),
                  0);
    h.write_epsg();
    h.load();
    h.settings.SaveSetting("proj", "proj", "26715");

    double x = -93.5, y = 45.25, ox = 0, oy = 0;
    ASSERT_TRUE(h.main.coords().Project_Point(x, y, true, ox, oy)) << (h.dialogs.last() ? h.dialogs.last()->text : "");
    std::istringstream peer(run("echo '-93.5 45.25' | cs2cs -f %.6f +proj=longlat +ellps=WGS84 +datum=WGS84 "
                                "+no_defs +to +proj=utm +zone=15 +ellps=clrk66 +datum=NAD27 +units=m +no_defs "
                                "+nadgrids=" + nad + "conus.dat," + nad + "ntv1_can.dat"));
    double px = 0, py = 0;
    ASSERT_TRUE(peer >> px >> py);
    EXPECT_NEAR(ox, px, 1e-3);
    EXPECT_NEAR(oy, py, 1e-3);
}

} // namespace
