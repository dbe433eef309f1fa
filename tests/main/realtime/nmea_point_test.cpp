// NMEA sentences through the main window while real time runs: the point
// of each "$GPRMC" from the values collected since the last one, its row,
// readouts and hand-offs, a "$GPRMC" without a position, and ArcView's
// handshake file.
#include "tests/main/realtime/realtime_rig.h"

#include "main/app/frm_info.h"
#include "platform/automation/dispatch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using rttest::Tracker;

namespace {

struct ArcMap : platform::Dispatch {
    std::vector<std::vector<platform::Variant>> points;
    std::optional<platform::DispId> GetIDOfName(std::string_view n) const override
    {
        if (n == "RT_SendPoint") return 0;
        if (n == "RT_Graphics_Delete") return 1;
        return std::nullopt;
    }
    platform::Variant Invoke(platform::DispId id, platform::InvokeKind, std::vector<platform::Variant>& a) override
    {
        if (id == 0) points.push_back(a);
        return {};
    }
};

const char* const kRmc = "$GPRMC,090530,A,4530.1200,N,09330.1234,W,000.5,054.7,040706,024.1,E*6D";

struct NmeaPoint : ::testing::Test {
    Tracker t;
    void SetUp() override
    {
        t.start();
        // The exchange file lies in this test's own folder: tests run side by side.
        t.main.state().temp_shapefile = t.dir.path + "/trkfld.shp";
    }
    void nmea(const std::string& line, int seconds = 0)
    {
        t.pump.advance(std::int64_t(seconds) * 1000000);
        t.main.realtime().garmin_NMEA(line, false);
    }
    std::string log_line(int n)
    {
        std::ifstream in(t.dir.path + "/rt.txt", std::ios::binary);
        std::string line;
        for (int i = 0; i <= n && std::getline(in, line);) ++i;
        return line.substr(0, line.find('\r'));
    }
};

TEST_F(NmeaPoint, RowFromTheCycleAndTheNextRowSeesOnlyItsOwnValues)
{
    t.settings.SaveSetting("fields", "rtimeTextFile", "1");
    t.settings.SaveSetting("fields", "rtimetextloc", t.dir.path + "/rt.txt");
    t.main.lblAlt.caption = "(before)";
    nmea("$GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,2.5,1.3,2.1*39");
    nmea("$PGRMZ,1000,f,3*1B");
    nmea("$PGRME,9.1,M,15.0,M,12.0,M*1B");
    nmea("$PGRMM,WGS 84*06");
    nmea("$SDMTW,20.5,C*00");
    nmea(kRmc);
    const std::string row = log_line(1);
    EXPECT_EQ(row.substr(0, 31), "RTIMEWPT;rt1;45.502;-93.502057;") << row;
    const std::vector<std::string> f = platform::vb::Split(row, ";");
    ASSERT_EQ(f.size(), 27u) << row;
    EXPECT_EQ(f[6], "304.8");
    EXPECT_EQ(f[7] + f[8] + f[9], "12.09.115.0");
    EXPECT_EQ(f[10] + "|" + f[11] + "|" + f[12], "2.5|1.3|2.1");
    EXPECT_EQ(f[13] + "|" + f[14] + "|" + f[15] + "|" + f[16], "0.5|054.7|24.1|E");
    EXPECT_EQ(f[17] + "|" + f[18], "WGS 84|A");
    EXPECT_EQ(f[19] + f[20] + f[21], "000");
    EXPECT_EQ(f[22] + "|" + f[23], "0.00|20.50");
    EXPECT_EQ(f[24] + " " + f[25], "07/04/2006 09:05:30");
    EXPECT_EQ(f[26], " ");
    EXPECT_EQ(t.main.lbllat.caption, "45.502");
    EXPECT_EQ(t.main.lbllon.caption, "-93.502057");
    EXPECT_EQ(t.main.lblAlt.caption, "304.8 Meters");
    EXPECT_EQ(t.main.lblepe.caption, "12.0 Meters");
    EXPECT_EQ(t.main.frmInfo().lbldate.caption, "07/04/2006");
    EXPECT_EQ(t.main.frmInfo().lblTime.caption, "09:05:30");
    EXPECT_EQ(t.main.state().nmea_values.Count(), 0);
    EXPECT_FALSE(t.main.state().transfer_busy);
    // The display body carries the epe as received.
    EXPECT_NE(t.log.back().find(";0.75;12.0;0;True\""), std::string::npos) << t.log.back();

    nmea("$GPRMC,165959.6,V,0530.1234,S,12030.0000,E,,,010203,,*00");
    const std::vector<std::string> g = platform::vb::Split(log_line(2), ";");
    ASSERT_EQ(g.size(), 27u);
    EXPECT_EQ(g[1] + g[2] + "|" + g[3], "rt2-5.502057|120.5");
    EXPECT_EQ(g[6] + g[7] + g[10] + g[17] + g[18], "00.0000"); // nothing carried over
    EXPECT_EQ(g[24] + " " + g[25], "02/01/2003 16:59:59");
    EXPECT_EQ(t.main.lblAlt.caption, "304.8 Meters");
    EXPECT_EQ(t.main.lblepe.caption, "0.0 Meters");
}

TEST_F(NmeaPoint, FeetScaleAltitudeAndDepthButNotTemperature)
{
    t.main.state().unit = "Feet";
    nmea("$GPGGA,090530,4530.1200,N,09330.1234,W,1,08,0.9,100,M,,,,*00");
    nmea("$SDDPT,2,0.0*00");
    nmea("$SDMTW,20.5,C*00");
    nmea(kRmc);
    ASSERT_EQ(t.rows(), 1);
    EXPECT_EQ(t.cell(1, "alt"), "328.1");
    EXPECT_EQ(t.cell(1, "depth"), "6.56");
    EXPECT_EQ(t.cell(1, "temp"), "20.50");
    EXPECT_EQ(t.main.lblAlt.caption, "328.1 Feet");
}

TEST_F(NmeaPoint, NoPositionMakesNoPointAndUsesTheValuesUp)
{
    nmea(kRmc);
    ASSERT_EQ(t.rows(), 1);
    t.log.clear();
    t.dialogs.clear();
    nmea("$PGRMZ,48,f,3*1B");
    nmea("$GPRMC,165019.000,V,,,,,,,180710,,,N*48");
    EXPECT_EQ(t.rows(), 1);
    EXPECT_EQ(t.main.lbllat.caption, "45.502");
    EXPECT_EQ(t.main.frmInfo().lblTime.caption, "09:05:30");
    EXPECT_EQ(t.main.state().nmea_values.Count(), 0);
    EXPECT_FALSE(t.main.state().transfer_busy);
    EXPECT_TRUE(t.log.empty()); // nothing handed on
    EXPECT_TRUE(t.dialogs.boxes().empty());
    nmea("$GPRMC,165020,V,45x0.1,N,09330.1234,W,,,180710,,,N*48"); // no number
    EXPECT_EQ(t.rows(), 1);
}

TEST_F(NmeaPoint, SeparatorInATextKeepsEveryValueInItsColumn)
{
    nmea("$PGRMM,WGS 84;X;Y*06");
    nmea("$PGRME,9.1,M,15.0,M,1;2,M*1B");
    nmea(kRmc);
    ASSERT_EQ(t.rows(), 1);
    EXPECT_EQ(t.cell(1, "datum"), "WGS 84,X,Y");
    EXPECT_EQ(t.cell(1, "date"), "07/04/2006");
    EXPECT_EQ(t.cell(1, "time"), "09:05:30");
    EXPECT_EQ(t.cell(1, "filename"), "");
    EXPECT_EQ(t.cell(1, "ltime"), "");
    // The display body has its six values.
    EXPECT_EQ(platform::vb::Split(t.log.back().substr(t.log.back().find('"')), ";").size(), 6u) << t.log.back();
}

TEST_F(NmeaPoint, PositionOutOfRangeMakesNoPoint)
{
    for (const char* rmc : {"$GPRMC,090530,A,9999.9999,N,99999.9999,W,000.5,054.7,040706,024.1,E*6D",
                            "$GPRMC,090530,A,4560.0000,N,09330.1234,W,000.5,054.7,040706,024.1,E*6D",
                            "$GPRMC,090530,A,4530.1200,N,09360.0000,W,000.5,054.7,040706,024.1,E*6D",
                            "$GPRMC,090530,A,9030.0000,S,09330.1234,W,000.5,054.7,040706,024.1,E*6D",
                            "$GPRMC,090530,A,4530.1200,N,18030.0000,E,000.5,054.7,040706,024.1,E*6D"}) {
        nmea(rmc);
        EXPECT_EQ(t.rows(), 0) << rmc;
        EXPECT_TRUE(t.log.empty()) << rmc << ": " << t.log.front();  // no shape, no hand-off
        EXPECT_EQ(t.main.state().nmea_values.Count(), 0) << rmc;
    }
    // The edges are positions.
    nmea("$GPRMC,090530,A,9000.0000,S,18000.0000,W,000.5,054.7,040706,024.1,E*6D");
    ASSERT_EQ(t.rows(), 1);
    EXPECT_EQ(t.cell(1, "lat") + " " + t.cell(1, "long"), "-90 -180");
}

TEST_F(NmeaPoint, PositionNearZeroIsWrittenAsPlainDecimals)
{
    nmea("$GPRMC,090530,A,5128.6680,N,00000.0030,W,000.5,054.7,040706,024.1,E*6D");
    ASSERT_EQ(t.rows(), 1);
    EXPECT_EQ(t.cell(1, "lat"), "51.4778");
    EXPECT_EQ(t.cell(1, "long"), "-0.00005");
    EXPECT_EQ(t.main.lbllon.caption, "-0.00005");
    nmea("$GPRMC,090531,A,0000.0006,S,00000.0600,E,000.5,054.7,040706,024.1,E*6D");
    ASSERT_EQ(t.rows(), 2);
    EXPECT_EQ(t.cell(2, "lat") + " " + t.cell(2, "long"), "-0.00001 0.001");
    EXPECT_EQ(t.main.lbllat.caption, "-0.00001");
}

TEST_F(NmeaPoint, FilterAzimuthAndArcMap)
{
    auto arcmap = std::make_shared<ArcMap>();
    t.main.state().arcmap_extension = arcmap;
    t.main.state().arcmap_running = true;
    t.w().control("chkTolerance(1)").value = true;
    t.w().control("tbxToleranceValue(1)").text = "1000";
    t.main.state().tolerance_bypass = true;
    nmea("$PGRME,9.1,M,15.0,M,12.0,M*1B");
    nmea(kRmc); // the first is kept whatever the boxes say, the bypass stays
    EXPECT_TRUE(t.main.state().tolerance_bypass);
    nmea(kRmc); // the bypass keeps it
    EXPECT_FALSE(t.main.state().tolerance_bypass);
    nmea("$PGRMZ,48,f,3*1B");
    nmea(kRmc); // no distance: dropped, the values stay for the next
    EXPECT_EQ(t.rows(), 2);
    EXPECT_TRUE(t.main.state().nmea_values.Exists("alt"));
    nmea("$GPRMC,090531,A,4531.1200,N,09330.1234,W,,,040706,,*00");
    ASSERT_EQ(t.rows(), 3);
    EXPECT_EQ(t.cell(3, "alt"), "14.6");
    ASSERT_EQ(arcmap->points.size(), 3u);
    EXPECT_EQ(arcmap->points[0][5].ToDouble(), 12.0); // epe as received
    EXPECT_EQ(arcmap->points[0][8].ToDouble(), 0);    // the first point has no direction
    EXPECT_EQ(arcmap->points[2][5].ToDouble(), 0);
    EXPECT_EQ(arcmap->points[2][8].ToDouble(), 360); // due north
}

TEST_F(NmeaPoint, BusyFlagSkipsTheRmcWholeAndOtherSentencesClearIt)
{
    t.main.state().transfer_busy = true;
    nmea(kRmc);
    EXPECT_EQ(t.rows(), 0);
    EXPECT_TRUE(t.main.state().transfer_busy);
    EXPECT_EQ(t.main.state().nmea_values.Count(), 10);
    nmea("$GPGSV,3,1,09,01,05,060,18*70");
    EXPECT_FALSE(t.main.state().transfer_busy);
    nmea(kRmc);
    EXPECT_EQ(t.rows(), 1);
}

TEST_F(NmeaPoint, ArcViewHandshakeFileEndsTracking)
{
    const std::string done = t.main.state().temp_shapefile + ".done";
    nmea(kRmc);
    ASSERT_EQ(t.rows(), 1);
    { std::ofstream(done) << ""; }
    t.log.clear();
    nmea(kRmc);
    EXPECT_FALSE(std::filesystem::exists(done));
    EXPECT_FALSE(t.main.state().real_time);
    EXPECT_FALSE(t.main.state().transfer_busy);
    EXPECT_EQ(t.rows(), 2); // recorded before the hand-offs
    for (const std::string& e : t.log) EXPECT_EQ(e.find("ReceiveGarminSentence"), std::string::npos) << e;
    EXPECT_EQ(t.count("LinkExecute(av.run(\"GPS.RemoveRealTimeGraphics\",\"\"))"), 1);
}

} // namespace
