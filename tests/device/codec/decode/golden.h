// Golden packets written by hand from the record layouts, field by field.
// Common values: semicircles 00 00 00 20 = 2^29 = 45 degrees, 00 00 00 C0 =
// -2^30 = -90 degrees; floats 00 00 C9 42 = 100.5, 00 00 80 3F = 1.0,
// 00 00 00 40 = 2.0, 00 00 20 41 = 10.0.
#pragma once

#include "packet_builder.h"

#include <string>
#include <vector>

namespace test {

enum class Kind { Waypoint, RouteHeader, RouteLink, TrackHeader, TrackPoint, DateTime, Position, Pvt, Sats };

struct Golden {
    std::string name;   // format name
    Kind kind;
    Bytes packet;       // the full Host_Packet
};

inline const Bytes LAT45 = hex("00 00 00 20");
inline const Bytes LONM90 = hex("00 00 00 C0");
inline const Bytes F100_5 = hex("00 00 C9 42");
inline const Bytes F1 = hex("00 00 80 3F");
inline const Bytes F2 = hex("00 00 00 40");
inline const Bytes F10 = hex("00 00 20 41");

// D100 block: Ident "WPT001", Lat 45, Lon -90, Unused1 1, Cmnt "HELLO" (40).
inline Bytes d100_block() { return cat({txt("WPT001"), LAT45, LONM90, hex("01 00 00 00"), txt("HELLO", 40)}); }

// D150 record: Ident "AB" (6), Country "US", Wpt_Class 1, Lat 45, Lon -90,
// Alt int16 100, City "TOPEKA" (24), State "KS", Facility "FIELD" (30),
// Cmnt "C" (40): 115 bytes.
inline Bytes d150_record()
{
    return cat({txt("AB", 6), txt("US"), hex("01"), LAT45, LONM90, hex("64 00"), txt("TOPEKA", 24),
                txt("KS"), txt("FIELD", 30), txt("C", 40)});
}

// D151 layout: D100 block, Dist 2.0, Facility "FIELD" (30), City "TOPEKA"
// (24), State "KS", Alt int16 100, Country "US", Unused2 7, Wpt_Class 3.
inline Bytes d151_record()
{
    return cat({d100_block(), F2, txt("FIELD", 30), txt("TOPEKA", 24), txt("KS"), hex("64 00"), txt("US"),
                hex("07"), hex("03")});
}

// The six texts of D108 to D110: "ID", "CMT", "FAC", "CITY", "ADDR", "".
inline Bytes six_texts() { return cat({txt("ID"), hex("00"), txt("CMT"), hex("00"), txt("FAC"), hex("00"),
                                       txt("CITY"), hex("00"), txt("ADDR"), hex("00"), hex("00")}); }

// D108 to D110 shared middle, offsets 24 to 47: Lat 45, Lon -90, Alt 100.5,
// Dpth 1.0, Dist 2.0, State "KS", Country "US".
inline Bytes d108_middle() { return cat({LAT45, LONM90, F100_5, F1, F2, txt("KS"), txt("US")}); }

inline std::vector<Golden> goldens()
{
    std::vector<Golden> g;
    auto wpt = [&](std::string name, Bytes data) { g.push_back({name, Kind::Waypoint, frame(35, data)}); };
    wpt("D100", d100_block());
    wpt("D101", cat({d100_block(), F1, hex("12")}));        // Dist 1.0, Smbl byte 18
    wpt("D102", cat({d100_block(), F1, hex("01 20")}));     // Dist 1.0, Smbl int16 8193
    wpt("D103", cat({d100_block(), hex("07 02")}));         // Smbl 7, Dspl 2
    wpt("D104", cat({d100_block(), F1, hex("01 20"), hex("02")})); // Dist, Smbl 8193, Dspl 2
    // D105: Lat 45, Lon -90, Smbl 18, Ident " HOME " NUL
    wpt("D105", cat({LAT45, LONM90, hex("12 00"), txt(" HOME "), hex("00")}));
    // D106: Wpt_Class 0, Sub_Class "SUB" + 10 NULs, Lat, Lon, Smbl 18,
    // Ident "ID1" NUL, Link "Link" NUL
    wpt("D106", cat({hex("00"), txt("SUB", 13, 0), LAT45, LONM90, hex("12 00"), txt("ID1"), hex("00"),
                     txt("Link"), hex("00")}));
    // D107: D100 block, Smbl 7, Dspl 2, Dist 1.0, Color 4
    wpt("D107", cat({d100_block(), hex("07 02"), F1, hex("04")}));
    // D108: Wpt_Class 128, Color 3, Dspl 1, Attrib 0x60, Smbl 18,
    // Sub_Class "SC" + 16 blanks, middle, six texts
    wpt("D108", cat({hex("80 03 01 60 12 00"), txt("SC", 18), d108_middle(), six_texts()}));
    // D109: Dtype 1, Wpt_Class 0, display 0x65 (Color 5, Dspl 3), Attrib
    // 0x70, Smbl 18, subclass 18 x FF (ignored for class 0), middle, Ete 60
    wpt("D109", cat({hex("01 00 65 70 12 00"), txt("", 18, 0xFF), d108_middle(), hex("3C 00 00 00"),
                     six_texts()}));
    // D110: as D109 with display 0x25 (Color 5, Dspl 1), Attrib 0x80, then
    // Temp 10.0, Time 90061 s (CD 5F 01 00), Wpt_Category 3
    wpt("D110", cat({hex("01 00 25 80 12 00"), txt("", 18, 0xFF), d108_middle(), hex("3C 00 00 00"), F10,
                     hex("CD 5F 01 00"), hex("03 00"), six_texts()}));
    wpt("D150", d150_record());
    wpt("D151", d151_record());
    wpt("D152", d151_record());
    wpt("D154", cat({d151_record(), hex("12 00")}));            // Smbl 18
    wpt("D155", cat({d151_record(), hex("12 00"), hex("02")})); // Smbl 18, Dspl 2
    auto prx = [&](std::string name, Bytes data) { g.push_back({name, Kind::Waypoint, frame(19, data)}); };
    prx("D400", cat({d100_block(), F100_5}));                   // + Dist 100.5
    prx("D403", cat({d100_block(), hex("07 02"), F100_5}));     // Smbl 7, Dspl 2, Dist
    prx("D450", cat({hex("05 00"), d150_record(), F100_5}));    // Prox_Index 5, D150, Dist

    g.push_back({"D200", Kind::RouteHeader, frame(29, hex("07"))}); // Number 7
    // D201: Number 2, Cmnt "A B" + 17 NULs
    g.push_back({"D201", Kind::RouteHeader, frame(29, cat({hex("02"), txt("A B", 20, 0)}))});
    g.push_back({"D202", Kind::RouteHeader, frame(29, cat({txt("ROUTE1"), hex("00")}))});
    // D210: Link_Class 0, Link_Sub_Class "XY" (18), Link_Ident "LINKID" NUL
    g.push_back({"D210", Kind::RouteLink, frame(98, cat({hex("00 00"), txt("XY", 18), txt("LINKID"), hex("00")}))});

    // D310 / D312: Dspl 1, Color 4, Ident "TRK" NUL; D311: Index 9
    g.push_back({"D310", Kind::TrackHeader, frame(99, cat({hex("01 04"), txt("TRK"), hex("00")}))});
    g.push_back({"D311", Kind::TrackHeader, frame(99, hex("09 00"))});
    g.push_back({"D312", Kind::TrackHeader, frame(99, cat({hex("01 04"), txt("TRK"), hex("00")}))});
    // Track points: Lat 45, Lon -90, Time 90061, then the format's fields.
    const Bytes head = cat({LAT45, LONM90, hex("CD 5F 01 00")});
    auto pt = [&](std::string name, Bytes rest) { g.push_back({name, Kind::TrackPoint, frame(34, cat({head, rest}))}); };
    pt("D300", hex("01"));                                    // New_Segment 1
    pt("D301", cat({F100_5, F1, hex("01")}));                 // Alt, Dpth, New_Segment
    pt("D302", cat({F100_5, F1, F10, hex("01")}));            // Alt, Dpth, Temp, New_Segment
    pt("D303", cat({F100_5, hex("05 00 00 00"), F10, hex("01")})); // Alt, Dpth int16 5, (2 unused), Temp
    pt("D304", cat({F100_5, hex("00 00 00 00"), hex("06"), hex("00 00 00"), hex("01")})); // Alt, -, Dpth byte 6

    // D600: month 12, day 15, year 2019, hour 20, minute 46, second 57
    g.push_back({"D600", Kind::DateTime, frame(14, hex("0C 0F E3 07 14 00 2E 39"))});
    // D700: Lat pi/4 radians, Lon -pi/2 radians (doubles)
    g.push_back({"D700", Kind::Position, frame(17, hex("18 2D 44 54 FB 21 E9 3F  18 2D 44 54 FB 21 F9 BF"))});
    // D800: Alt 100.5, epe 1.0, eph 2.0, epv 10.0, pfix 3, tow 2.0 (double),
    // Lat pi/4, Lon -pi/2, east 1.0, north 2.0, up 10.0, msl_hght 100.5,
    // leap_scnds 18, wn_days 7304
    g.push_back({"D800", Kind::Pvt, frame(51, cat({F100_5, F1, F2, F10, hex("03 00"), hex("00 00 00 00 00 00 00 40"),
                                                  hex("18 2D 44 54 FB 21 E9 3F"), hex("18 2D 44 54 FB 21 F9 BF"),
                                                  F1, F2, F10, F100_5, hex("12 00"), hex("88 1C 00 00")}))});
    // Satellites: entry k has svid k+1, snr 1700, elev 50, azimuth 307,
    // status 4 (7 bytes each, 12 entries)
    Bytes sats;
    for (int k = 0; k < 12; ++k) {
        const Bytes e = cat({Bytes{static_cast<std::uint8_t>(k + 1)}, hex("A4 06 32 33 01 04")});
        sats.insert(sats.end(), e.begin(), e.end());
    }
    g.push_back({"SATS", Kind::Sats, frame(114, sats)});
    return g;
}

inline Golden golden(const std::string& name)
{
    for (auto& g : goldens())
        if (g.name == name)
            return g;
    return {};
}

} // namespace test
