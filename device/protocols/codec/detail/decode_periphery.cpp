// The small records of the control's periphery: almanac, lap, flight book,
// voltages and the unit ID.
#include "device/protocols/codec/decode.h"

#include "device/protocols/codec/detail/data_reader.h"

#include <algorithm>
#include <cstdio>

namespace brenvik {

using detail::Data;

bool Decode_Almanac(std::string_view format, PacketView packet, cAlmanac& a)
{
    const bool with_svid = format == "D550" || format == "D551";
    if (!with_svid && format != "D500" && format != "D501") return false;
    const Data d{packet};
    // The D55x layouts put svid first and shift every other field by one.
    const int s = with_svid ? 1 : 0;
    if (with_svid) a.svid = d.u8(0);
    a.wn = d.i16(s + 0);
    float* const singles[] = {&a.toa, &a.af0, &a.af1, &a.e, &a.sqrta, &a.m0, &a.w, &a.omg0, &a.odot, &a.i};
    for (int k = 0; k < 10; ++k) *singles[k] = d.f32(s + 2 + 4 * k);
    if (format == "D501" || format == "D551") a.hlth = d.f32(s + 42);
    return true;
}

cLap Decode_Lap(PacketView packet)
{
    const Data d{packet};
    cLap lap;
    lap.Start_Time = detail::time_text(d, 0);
    lap.Start_Time_Seconds = d.i32(0);
    lap.Total_Time = d.i32(4);
    lap.Total_Distance = d.f32(8);
    lap.Begin_Lat = d.semicircles(12);
    lap.Begin_Lon = d.semicircles(16);
    lap.End_Lat = d.semicircles(20);
    lap.End_Lon = d.semicircles(24);
    lap.Calories = d.i16(28);
    lap.Track_Index = d.u8(30);
    lap.Unused = d.u8(31);
    return lap;
}

cFlightbook_Record Decode_Flightbook(PacketView packet)
{
    const Data d{packet};
    cFlightbook_Record r;
    r.Takeoff_Time = detail::time_text(d, 0);
    r.Takeoff_Seconds = d.i32(0);
    r.Landing_Time = detail::time_text(d, 4);
    r.Landing_Seconds = d.i32(4);
    r.Takeoff_Lat = d.semicircles(8);
    r.Takeoff_Lon = d.semicircles(12);
    r.Landing_Lat = d.semicircles(16);
    r.Landing_Lon = d.semicircles(20);
    r.Night_Time = d.i32(24);
    r.Num_Landings = d.i32(28);
    r.Max_Speed = d.f32(32);
    r.Max_Alt = d.f32(36);
    r.Distance = d.f32(40);
    r.Cross_Country = d.u8(44) != 0;
    // The text area runs to the size byte's end, never beyond the packet;
    // a record below 45 bytes has none. Zeros after it end the last text.
    if (d.size() > 45) {
        PacketView area = Packet_Bytes(packet, Data::at(45), d.size() - 45);
        std::vector<std::uint8_t> texts(area.begin(), area.end());
        texts.push_back(0);
        detail::String_Run run(texts);
        std::string* const fields[] = {&r.Departure_Airport_Name, &r.Departure_Airport_Ident,
                                       &r.Arrival_Airport_Name, &r.Arrival_Airport_Ident, &r.Aircraft_ID};
        for (std::string* f : fields) *f = run.take();
    }
    return r;
}

cVoltages Decode_Voltages(PacketView packet)
{
    const Data d{packet};
    cVoltages v;
    v.Internal_Voltage = static_cast<float>(d.i16(0) / 100.0);
    v.External_Voltage = static_cast<float>(d.i16(2) / 100.0);
    return v;
}

double ULong_To_Double(std::int32_t value) { return static_cast<double>(static_cast<std::uint32_t>(value)); }

std::string Decode_Unit_ID(PacketView packet)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.0f", ULong_To_Double(Data{packet}.i32(0)));
    return text;
}

} // namespace brenvik
