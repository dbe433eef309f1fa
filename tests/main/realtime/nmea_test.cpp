// The sentence table line by line, the value store, and the conversions of
// the real-time point, checked against what another program decoded from
// real receiver logs.
#include "main/realtime/nmea.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <map>
#include <string>

namespace {

using platform::VarType;
using realtime::NMEA_Values;

// The values of one line by key, as text; numbers marked with "#".
std::map<std::string, std::string> values(const std::string& line)
{
    std::map<std::string, std::string> out;
    for (const auto& v : NMEA_Values(line)) {
        const bool number = v.value.Type() == VarType::Double;
        EXPECT_TRUE(number || v.value.Type() == VarType::String) << v.key;
        out[v.key] = (number ? "#" : "") + v.value.ToString();
    }
    return out;
}

using Values = std::map<std::string, std::string>;

TEST(SentenceTable, KeysOfEachSentence)
{
    EXPECT_EQ(values("$GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,2.5,1.3,2.1*39"),
              (Values{{"pfix", "A"}, {"pdop", "2.5"}, {"hdop", "1.3"}, {"vdop", "2.1"}}));
    EXPECT_EQ(values("$GPRMC,225308,A,4527.458,S,16709.165,E,000.5,094.5,060601,024.1,E*6D"),
              (Values{{"time", "225308"}, {"lat", "4527.458"}, {"lat_dir", "S"}, {"long", "16709.165"},
                      {"long_dir", "E"}, {"speed", "#0.5"}, {"course", "094.5"}, {"date", "060601"},
                      {"mvar", "#24.1"}, {"mdir", "E"}}));
    EXPECT_EQ(values("$GPGGA,225308,4527.458,S,16709.165,E,1,05,2.1,14.7,M,1.1,M,,*53"),
              (Values{{"time", "225308"}, {"lat", "4527.458"}, {"lat_dir", "S"}, {"long", "16709.165"},
                      {"long_dir", "E"}, {"pfix", "1"}, {"hdop", "2.1"}, {"alt", "14.7"}}));
    EXPECT_EQ(values("$GPGLL,4527.458,S,16709.165,E,225309*27"),
              (Values{{"lat", "4527.458"}, {"lat_dir", "S"}, {"long", "16709.165"}, {"long_dir", "E"},
                      {"time", "225309*27"}}));
    EXPECT_EQ(values("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48"), (Values{{"speed", "#5.5"}, {"course", "054.7"}}));
    EXPECT_EQ(values("$PGRME,15.0,M,45.0,M,25.0,M*1C"), (Values{{"eph", "15.0"}, {"epv", "45.0"}, {"epe", "25.0"}}));
    EXPECT_EQ(values("$PGRMM,WGS 84*06"), (Values{{"datum", "WGS 84"}}));
    EXPECT_EQ(values("$SDDPT,3.6,0.0*52"), (Values{{"depth", "#3.6"}}));
    EXPECT_EQ(values("$SDDBT,7.8,f,2.4,M,1.3,F*0D"), (Values{{"depth", "#2.4"}}));
    EXPECT_EQ(values("$GPDBT,7.8,f,2.5,M,1.3,F*0D"), (Values{{"depth", "#2.5"}}));
    EXPECT_EQ(values("$SDMTW,17.5,C*39"), (Values{{"temp", "#17.5"}}));
}

TEST(SentenceTable, AltitudeInFeetBecomesMetres)
{
    const auto v = NMEA_Values("$PGRMZ,1000,f,3*1E");
    ASSERT_EQ(v.size(), 1u);
    EXPECT_STREQ(v[0].key, "alt");
    ASSERT_EQ(v[0].value.Type(), VarType::Double);
    EXPECT_DOUBLE_EQ(v[0].value.ToDouble(), 1000 / 3.28084);
    EXPECT_NEAR(v[0].value.ToDouble(), 304.8, 1e-3);
    // The unit field is not read: metres are still taken as feet.
    EXPECT_DOUBLE_EQ(NMEA_Values("$PGRMZ,48,m,3*00")[0].value.ToDouble(), 48 / 3.28084);
}

TEST(SentenceTable, LinesThatStoreNothing)
{
    EXPECT_TRUE(NMEA_Values("$GPGSV,3,1,12,01,05,060,18,02,17,259,43,04,56,287,28,07,28,169,42*7D").empty());
    EXPECT_TRUE(NMEA_Values("$GPXTE,A,A,0.67,L,N*6F").empty());
    EXPECT_TRUE(NMEA_Values("$gprmc,225308,A,4527.458,S,16709.165,E,000.5,094.5,060601,024.1,E").empty());
    EXPECT_TRUE(NMEA_Values("$PGRMZ").empty()); // no ",": not even field 1 is read
    EXPECT_TRUE(NMEA_Values("").empty());
    EXPECT_TRUE(NMEA_Values(",,,,").empty());
}

TEST(SentenceTable, ShortSentenceStoresTheFieldsItHas)
{
    EXPECT_EQ(values("$GPRMC,225308,A,4527.458"), (Values{{"time", "225308"}, {"lat", "4527.458"}}));
    EXPECT_EQ(values("$GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,2.5"), (Values{{"pfix", "A"}, {"pdop", "2.5"}}));
    // Empty fields are there and stored: an empty text, Val's 0.
    EXPECT_EQ(values("$GPRMC,165019.000,V,,,,,,,180710,,,N*48"),
              (Values{{"time", "165019.000"}, {"lat", ""}, {"lat_dir", ""}, {"long", ""}, {"long_dir", ""},
                      {"speed", "#0"}, {"course", ""}, {"date", "180710"}, {"mvar", "#0"}, {"mdir", ""}}));
}

TEST(SentenceTable, SetValReplacesAndKeepsTheType)
{
    realtime::NMEAValues c;
    realtime::Collection_SetVal(c, platform::Variant(std::string("2.5")), "pdop");
    realtime::Collection_SetVal(c, platform::Variant(1.5), "speed");
    realtime::NMEAValues& same = realtime::Collection_SetVal(c, platform::Variant(std::string("3.1")), "pdop");
    EXPECT_EQ(&same, &c);
    ASSERT_EQ(c.Count(), 2);
    EXPECT_EQ(c.Item("pdop").ToString(), "3.1");
    EXPECT_EQ(c.Item("pdop").Type(), VarType::String);
    EXPECT_EQ(c.Item("speed").Type(), VarType::Double);
}

TEST(NmeaConversions, Degrees)
{
    using realtime::NMEA_Latitude;
    using realtime::NMEA_Longitude;
    EXPECT_EQ(NMEA_Latitude("4530.1200", "N"), 45.502);
    EXPECT_EQ(NMEA_Latitude("0530.1234", "S"), -5.502057);
    EXPECT_EQ(NMEA_Latitude("0530.1234", "s"), -5.502057);
    EXPECT_EQ(NMEA_Longitude("09330.1234", "W"), -93.502057);
    EXPECT_EQ(NMEA_Longitude("12030.0000", "E"), 120.5);
    EXPECT_EQ(NMEA_Longitude("930.5", "w"), -9.508333); // one degree digit before the minutes
    EXPECT_EQ(NMEA_Longitude("12030", "E"), 120.5);     // no decimals
    // No position, or none that reads as one: nothing (never 0, 0).
    for (const char* bad : {"", "45", "4a30.12", "45x0.12", "4530.12.5", "-530.12", " 4530.12"}) {
        EXPECT_FALSE(NMEA_Latitude(bad, "N")) << bad;
        EXPECT_FALSE(NMEA_Longitude(bad, "E")) << bad;
    }
}

TEST(NmeaConversions, DateAndTime)
{
    EXPECT_EQ(realtime::NMEA_Date("040706"), "07/04/2006");
    EXPECT_EQ(realtime::NMEA_Time("090530"), "09:05:30");
    EXPECT_EQ(realtime::NMEA_Time("032908.379"), "03:29:08");
    EXPECT_EQ(realtime::NMEA_Time("165959.6"), "16:59:59"); // never second 60
    EXPECT_EQ(realtime::NMEA_Time("235959.999"), "23:59:59");
    EXPECT_EQ(realtime::NMEA_Time(""), "00:00:00");
}

// Every $GPRMC that another program decoded: the same position to six
// decimals, the same date and time to the second.
TEST(NmeaConversions, AgreeWithTheDecodedLogs)
{
    int checked = 0;
    for (const char* log : {"garmin-10x", "garmin-geko201", "garmin15x", "garmin17n", "garmin48"}) {
        std::ifstream in(std::string(TREKFOLD_TESTDATA_DIR) + "/nmea/" + log + ".log.chk");
        ASSERT_TRUE(in) << log;
        std::string line, next;
        std::getline(in, line);
        while (std::getline(in, next)) {
            if (!next.empty() && next.back() == '\r') next.pop_back();
            if (line.rfind("$GPRMC,", 0) == 0 && next.rfind("{\"class\":\"TPV\"", 0) == 0) {
                const auto tpv = nlohmann::json::parse(next);
                const auto f = realtime::NMEA_Fields(line);
                ASSERT_GE(f.size(), 10u) << line;
                if (tpv.contains("lat")) {
                    const auto lat = realtime::NMEA_Latitude(f[3], f[4]);
                    const auto lon = realtime::NMEA_Longitude(f[5], f[6]);
                    ASSERT_TRUE(lat && lon) << line;
                    EXPECT_NEAR(*lat, std::round(tpv["lat"].get<double>() * 1e6) / 1e6, 1e-9) << line;
                    EXPECT_NEAR(*lon, std::round(tpv["lon"].get<double>() * 1e6) / 1e6, 1e-9) << line;
                    ++checked;
                }
                if (!tpv.contains("time")) {
                    line = next;
                    continue;
                }
                const std::string t = tpv["time"]; // 2001-06-06T22:53:08.000Z
                EXPECT_EQ(realtime::NMEA_Date(f[9]), t.substr(5, 2) + "/" + t.substr(8, 2) + "/" + t.substr(0, 4));
                EXPECT_EQ(realtime::NMEA_Time(f[1]), t.substr(11, 8)) << line;
            }
            line = next;
        }
    }
    EXPECT_EQ(checked, 12); // the sentences whose TPV follows at once
}

// Every line of every log goes through the table without harm; the
// sentences the table reads give values.
TEST(SentenceTable, EveryLineOfTheLogs)
{
    int with_values = 0;
    for (const char* log : {"garmin-10x.log", "garmin-geko201.log", "garmin15x.log", "garmin17n.log",
                            "garmin48.log", "sirf-track.nmea"}) {
        std::ifstream in(std::string(TREKFOLD_TESTDATA_DIR) + "/nmea/" + log);
        ASSERT_TRUE(in) << log;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!NMEA_Values(line).empty()) ++with_values;
        }
    }
    EXPECT_GT(with_values, 500);
}

} // namespace
