// Date and time, position, PVT and satellite records. These fill the
// control's objects in place: a field beyond a short packet keeps its value.
#include "device/protocols/codec/decode.h"
#include "device/protocols/codec/detail/data_reader.h"

#include <cmath>

namespace brenvik {

namespace {

using detail::Data;

const double Degrees_Per_Radian = 180.0 / (4.0 * std::atan(1.0));

template <class T, class Read>
void keep_or_read(const Data& d, int o, int width, T& field, Read read)
{
    if (d.has(o, width))
        field = static_cast<T>(read(o));
}

} // namespace

void Decode_Date_Time(PacketView packet, RecordStore& store)
{
    const Data d{packet};
    if (!store.Date_Time)
        store.Date_Time = make_record<cDate_Time>();
    cDate_Time& t = *store.Date_Time;
    auto u8 = [&](int o) { return d.u8(o); };
    auto i16 = [&](int o) { return d.i16(o); };
    keep_or_read(d, 0, 1, t.month, u8);
    keep_or_read(d, 1, 1, t.day, u8);
    keep_or_read(d, 2, 2, t.year, i16);
    keep_or_read(d, 4, 2, t.hour, i16);
    keep_or_read(d, 6, 1, t.minute, u8);
    keep_or_read(d, 7, 1, t.second, u8);
}

void Decode_Position(PacketView packet, RecordStore& store)
{
    const Data d{packet};
    // Latitude and longitude are one position: both or neither.
    if (!d.has(0, 16))
        return;
    if (!store.Position)
        store.Position = make_record<cPosition>();
    store.Position->Lat = d.f64(0) * Degrees_Per_Radian;
    store.Position->Lon = d.f64(8) * Degrees_Per_Radian;
}

void Decode_Pvt(PacketView packet, RecordStore& store)
{
    const Data d{packet};
    if (!store.PvtData)
        store.PvtData = make_record<cPvtData>();
    cPvtData& v = *store.PvtData;
    auto f32 = [&](int o) { return d.f32(o); };
    auto f64 = [&](int o) { return d.f64(o); };
    auto i16 = [&](int o) { return d.i16(o); };
    auto i32 = [&](int o) { return d.i32(o); };
    keep_or_read(d, 0, 4, v.Alt, f32);
    keep_or_read(d, 4, 4, v.epe, f32);
    keep_or_read(d, 8, 4, v.eph, f32);
    keep_or_read(d, 12, 4, v.epv, f32);
    keep_or_read(d, 16, 2, v.pfix, i16);
    keep_or_read(d, 18, 8, v.tow, f64);
    if (d.has(26, 16)) { // a position only as a whole
        v.Lat = d.f64(26) * Degrees_Per_Radian;
        v.Lon = d.f64(34) * Degrees_Per_Radian;
    }
    keep_or_read(d, 42, 4, v.east, f32);
    keep_or_read(d, 46, 4, v.north, f32);
    keep_or_read(d, 50, 4, v.up, f32);
    keep_or_read(d, 54, 4, v.msl_hght, f32);
    keep_or_read(d, 58, 2, v.leap_scnds, i16);
    keep_or_read(d, 60, 4, v.wn_days, i32);
}

void Decode_Sats(PacketView packet, RecordStore& store)
{
    const Data d{packet};
    auto& sats = RecordStore::Use(store.Sats);
    sats.clear();
    for (int k = 0; k < 12; ++k) {
        const int o = 7 * k;
        auto sat = make_record<cSat>(); // fields beyond the data stay 0
        sat->svid = d.u8(o);
        sat->snr = d.i16(o + 1);
        sat->elev = d.u8(o + 3);
        sat->azimuth = d.i16(o + 4);
        sat->status = d.u8(o + 6);
        sats.push_back(std::move(sat));
    }
}

std::int16_t Decode_Records(PacketView packet)
{
    return Packet_To_Integer(packet, 3);
}

std::int32_t Decode_Baud_Reply(PacketView packet)
{
    return Packet_To_Long(packet, 3);
}

} // namespace brenvik
