// The device record classes: plain records that carry receiver data between
// the control and its host. Text fields hold UTF-8; the codecs convert to and
// from the receiver's Windows-1252 bytes. A new record is all zero / empty.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brenvik {

// A collection the control owns and hands to its host; emptied in place.
template <class T>
using RecordList = std::vector<std::shared_ptr<T>>;
template <class T>
using RecordListRef = std::shared_ptr<RecordList<T>>;

struct cWaypoint {
    std::string Ident;
    double Lat = 0;
    double Lon = 0;
    std::string Cmnt;
    std::int16_t Dspl = 0;
    std::int16_t Smbl = 0;
    std::int32_t Unused1 = 0;
    float Dist = 0;
    std::int16_t Prox_Index = 0;
    std::int32_t Color = 0;
    float Alt = 0;
    float Dpth = 0;
    std::int16_t Wpt_Class = 0;
    std::string Sub_Class;
    std::int16_t Attrib = 0;
    std::string Link;
    std::string State;
    std::string Country;
    std::string City;
    std::string Address;
    std::string Facility;
    std::string Cross_Road;
    std::int32_t Unused2 = 0;
    std::int32_t Ete = 0;
    std::int16_t Dtype = 0;
    float Temp = 0;
    std::string Time;
    std::int32_t Time_Seconds = 0;
    std::int16_t Wpt_Category = 0;

    void Clear() { *this = cWaypoint{}; }
};

struct cRoute {
    std::int16_t Number = 0;
    std::string Ident;
    std::string Cmnt;
    std::int16_t Link_Class = 0;
    std::string Link_Sub_Class;
    std::string Link_Ident;
    RecordListRef<cWaypoint> Waypoints; // empty reference in a new object

    // Leaves the Waypoints collection untouched.
    void Clear()
    {
        auto keep = std::move(Waypoints);
        *this = cRoute{};
        Waypoints = std::move(keep);
    }
};

struct cTrack {
    double Lat = 0;
    double Lon = 0;
    std::string Time;
    std::int32_t Seconds = 0;
    bool New_Segment = false;
    float Alt = 0;
    float Dpth = 0;
    bool Dspl = false;
    std::uint8_t Color = 0;
    std::string Ident;
    std::string Datum;
    std::int16_t Index = 0;
    float Temp = 0;

    void Clear() { *this = cTrack{}; }
};

struct cPvtData {
    float Alt = 0;
    float epe = 0;
    float eph = 0;
    float epv = 0;
    std::int16_t pfix = 0;
    double tow = 0;
    double Lat = 0;
    double Lon = 0;
    float east = 0;
    float north = 0;
    float up = 0;
    float msl_hght = 0;
    std::int16_t leap_scnds = 0;
    std::int32_t wn_days = 0;
};

struct cPosition {
    double Lat = 0;
    double Lon = 0;
};

struct cDate_Time {
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::int16_t year = 0;
    std::int16_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
};

struct cProduct_Data {
    std::int16_t Product_ID = 0;
    std::int16_t Software_Version = 0;
    std::string Product_Description_1;
    std::string Product_Description_2;
    std::string Product_Description_3;
    std::string Product_Description_4;
    std::string Product_Description_5;
    std::string Product_Description_6;
    std::string Unit_ID;
    std::string GPS_Name;

    void Clear() { *this = cProduct_Data{}; }
};

struct cVoltages {
    float Internal_Voltage = 0;
    float External_Voltage = 0;

    void Clear() { *this = cVoltages{}; }
};

struct cRecord_Counts {
    std::int16_t Waypoint_Records = 0;
    std::int16_t Prox_Waypoint_records = 0;
    std::int16_t Route_Records = 0;
    std::int16_t Track_Records = 0;

    void Clear() { *this = cRecord_Counts{}; }
};

struct cAlmanac {
    std::uint8_t svid = 0;
    std::int16_t wn = 0;
    float toa = 0;
    float af0 = 0;
    float af1 = 0;
    float e = 0;
    float sqrta = 0;
    float m0 = 0;
    float w = 0;
    float omg0 = 0;
    float odot = 0;
    float i = 0;
    float hlth = 0;
};

struct cDisplay {
    std::int32_t Record_Type = 0;
    std::int32_t Record_Length = 0;
    std::uint8_t First_Byte = 0;
    std::int32_t Line_Length = 0;
    std::int32_t Bits_Per_Pixel = 0;
    std::int32_t Pixels = 0;
    std::int32_t Display_Lines = 0;
    std::string Packet;
    std::int32_t Orientation1 = 0;
    std::int32_t Orientation2 = 0;
    std::int32_t Unknown2 = 0;
    std::int32_t Unknown3 = 0;
    std::int32_t Line_Length_Strict = 0;
};

struct cFlightbook_Record {
    std::string Takeoff_Time;
    std::int32_t Takeoff_Seconds = 0;
    std::string Landing_Time;
    std::int32_t Landing_Seconds = 0;
    double Takeoff_Lat = 0;
    double Takeoff_Lon = 0;
    double Landing_Lat = 0;
    double Landing_Lon = 0;
    std::int32_t Night_Time = 0;
    std::int32_t Num_Landings = 0;
    float Max_Speed = 0;
    float Max_Alt = 0;
    float Distance = 0;
    bool Cross_Country = false;
    std::string Departure_Airport_Name;
    std::string Departure_Airport_Ident;
    std::string Arrival_Airport_Name;
    std::string Arrival_Airport_Ident;
    std::string Aircraft_ID;

    void Clear() { *this = cFlightbook_Record{}; }
};

struct cLap {
    std::string Start_Time;
    std::int32_t Start_Time_Seconds = 0;
    std::int32_t Total_Time = 0;
    float Total_Distance = 0;
    double Begin_Lat = 0;
    double Begin_Lon = 0;
    double End_Lat = 0;
    double End_Lon = 0;
    std::int16_t Calories = 0;
    std::uint8_t Track_Index = 0;
    std::uint8_t Unused = 0;

    void Clear() { *this = cLap{}; }
};

struct cSat {
    std::uint8_t svid = 0;
    std::int16_t snr = 0;
    std::uint8_t elev = 0;
    std::int16_t azimuth = 0;
    std::uint8_t status = 0;
};

// A picture handed out with screen and icon events: a device-independent
// bitmap, 32-bit 0xAARRGGBB pixels, top row first.
struct Picture {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint32_t> Pixels;
};
using PictureRef = std::shared_ptr<Picture>;

} // namespace brenvik
