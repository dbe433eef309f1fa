// gpsbabel against the main window, through the receiver simulator: what
// gpsbabel uploads, the window downloads with its names, coordinates and
// heights; what the window uploads, gpsbabel reads back.
#include "tests/main/transfer/receiver.h"

#include <fstream>
#include <sstream>

namespace {

using namespace receivertest;

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Peer, WaypointsGpsbabelUploadsArriveInTheTable)
{
    Unit unit("d110-array-unit");
    const std::string dir = Window::make_dir();
    std::ofstream(dir + "/in.gpx") << "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\" creator=\"test\">\n"
                                      "<wpt lat=\"45.123456\" lon=\"-93.654321\"><ele>250.0</ele><name>PEERA</name></wpt>\n"
                                      "<wpt lat=\"-33.5\" lon=\"151.25\"><ele>12.0</ele><name>PEERB</name></wpt>\n"
                                      "</gpx>\n";
    ASSERT_EQ(std::system(("gpsbabel -w -i gpx -f " + dir + "/in.gpx -o garmin -F " + unit.sim.slave_path() +
                           " 2>/dev/null").c_str()),
              0);
    std::filesystem::remove_all(dir);
    Window w(unit);
    w.run("mnuWDownload");
    int found = 0;
    for (int r = 1; r <= w.rows(); ++r) {
        if (w.cell(r, "ident") == "PEERA") {
            EXPECT_NEAR(std::stod(w.cell(r, "lat")), 45.123456, 1e-5);
            EXPECT_NEAR(std::stod(w.cell(r, "long")), -93.654321, 1e-5);
            EXPECT_EQ(w.cell(r, "altitude"), "250");
            ++found;
        }
        if (w.cell(r, "ident") == "PEERB") {
            EXPECT_NEAR(std::stod(w.cell(r, "lat")), -33.5, 1e-5);
            ++found;
        }
    }
    EXPECT_EQ(found, 2);
}

TEST(Peer, GpsbabelReadsBackWhatTheWindowUploads)
{
    Unit unit("d110-array-unit");
    {
        Window w(unit);
        w.main.state().record_type = "waypoint";
        w.main.table().Table_SetType("waypoint");
        w.main.table().Records_Insert("WAYPOINT;MINE;12.5;-45.25;0;0;MY COMMENT", "", "", ";", false);
        w.run("mnuWUpload");
        EXPECT_EQ(w.texts(), (std::vector<std::string>{"Transfer Complete. 1 Waypoints uploaded."}));
        w.main.garmin->PortClose();
    }
    const std::string dir = Window::make_dir();
    ASSERT_EQ(std::system(("gpsbabel -w -i garmin -f " + unit.sim.slave_path() + " -o gpx -F " + dir +
                           "/out.gpx 2>/dev/null").c_str()),
              0);
    const std::string gpx = slurp(dir + "/out.gpx");
    std::filesystem::remove_all(dir);
    EXPECT_NE(gpx.find("<name>MINE</name>"), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("lat=\"12.500000"), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("MY COMMENT"), std::string::npos) << gpx;
}

} // namespace
