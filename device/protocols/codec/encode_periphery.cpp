// Encoders of the almanac, lap and flight-book uploads.
#include "device/protocols/codec/encode.h"

#include "device/protocols/codec/conversions.h"
#include "device/protocols/codec/detail/encode_common.h"

namespace brenvik {

using namespace encode_detail;

Encoded Encode_Almanac(std::string_view format, const cAlmanac& a, std::uint8_t id)
{
    const bool with_svid = format == "D550" || format == "D551";
    const bool with_health = format == "D501" || format == "D551";
    if (!with_svid && format != "D500" && format != "D501") return std::nullopt;
    const int s = with_svid ? 1 : 0;
    Packet pk = New_Packet(id, static_cast<std::uint8_t>(42 + s + (with_health ? 4 : 0)));
    FieldWriter w(pk);
    if (with_svid) w.Byte(0, a.svid);
    w.Int16(s, a.wn);
    const float singles[] = {a.toa, a.af0, a.af1, a.e, a.sqrta, a.m0, a.w, a.omg0, a.odot, a.i};
    for (int k = 0; k < 10; ++k) w.Single(std::size_t(s + 2 + 4 * k), singles[k]);
    if (with_health) w.Single(std::size_t(s + 42), a.hlth);
    return pk;
}

Packet Encode_Lap(const cLap& lap, std::uint8_t id)
{
    Packet pk = New_Packet(id, 32);
    FieldWriter w(pk);
    w.Long(0, static_cast<std::int32_t>(Record_Seconds(lap.Start_Time_Seconds, lap.Start_Time)));
    w.Long(4, lap.Total_Time);
    w.Single(8, lap.Total_Distance);
    Write_Lat(w, 12, lap.Begin_Lat);
    Write_Lon(w, 16, lap.Begin_Lon);
    Write_Lat(w, 20, lap.End_Lat);
    Write_Lon(w, 24, lap.End_Lon);
    w.Int16(28, lap.Calories);
    w.Byte(30, lap.Track_Index);
    return pk; // Unused goes as 0
}

Packet Encode_Flightbook(const cFlightbook_Record& r, std::uint8_t id)
{
    std::string texts[] = {Device_Text(r.Departure_Airport_Name, true), Device_Text(r.Departure_Airport_Ident, true),
                           Device_Text(r.Arrival_Airport_Name, true), Device_Text(r.Arrival_Airport_Ident, true),
                           Device_Text(r.Aircraft_ID, true)};
    const std::vector<std::string*> list = {&texts[0], &texts[1], &texts[2], &texts[3], &texts[4]};
    Fit_Texts(list, Max_Data_Size - 45);
    Packet pk = New_Packet(id, static_cast<std::uint8_t>(45 + Text_Bytes(list) + list.size()));
    FieldWriter w(pk);
    w.Long(0, static_cast<std::int32_t>(Record_Seconds(r.Takeoff_Seconds, r.Takeoff_Time)));
    w.Long(4, static_cast<std::int32_t>(Record_Seconds(r.Landing_Seconds, r.Landing_Time)));
    Write_Lat(w, 8, r.Takeoff_Lat);
    Write_Lon(w, 12, r.Takeoff_Lon);
    Write_Lat(w, 16, r.Landing_Lat);
    Write_Lon(w, 20, r.Landing_Lon);
    w.Long(24, r.Night_Time);
    w.Long(28, r.Num_Landings);
    w.Single(32, r.Max_Speed);
    w.Single(36, r.Max_Alt);
    w.Single(40, r.Distance);
    w.Byte(44, r.Cross_Country ? 255 : 0);
    std::size_t at = 45;
    for (const std::string& t : texts) at = w.Zero_Text(at, t);
    return pk;
}

} // namespace brenvik
