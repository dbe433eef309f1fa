// Record decoders: each reads one received Host_Packet within its data only
// and stores the record where the control keeps it (RecordStore). Fields
// that lie beyond a short packet stay 0 / empty in a new record, or keep
// their previous values in a record that is filled in place.
#pragma once

#include "device/protocols/codec/conversions.h"
#include "device/protocols/codec/store.h"

#include <cstdint>
#include <string_view>

namespace brenvik {

// Which of the three waypoint packets carried the record.
enum class Waypoint_Packet { Plain, Route, Proximity };

// format: the negotiated format name for that packet ("D108", "D400", ...).
void Decode_Waypoint(std::string_view format, PacketView packet, RecordStore& store,
                     Waypoint_Packet kind = Waypoint_Packet::Plain);
void Decode_Route_Header(std::string_view format, PacketView packet, RecordStore& store);
void Decode_Route_Link(PacketView packet, RecordStore& store); // D210
void Decode_Track_Header(std::string_view format, PacketView packet, RecordStore& store);
void Decode_Track_Point(std::string_view format, PacketView packet, RecordStore& store);
void Decode_Date_Time(PacketView packet, RecordStore& store); // D600
void Decode_Position(PacketView packet, RecordStore& store);  // D700
void Decode_Pvt(PacketView packet, RecordStore& store);       // D800
void Decode_Sats(PacketView packet, RecordStore& store);      // 12 satellites

// The record-count and baud-reply packets: their one field.
std::int16_t Decode_Records(PacketView packet);
std::int32_t Decode_Baud_Reply(PacketView packet);

// The record alone, without storing it. Read_Waypoint clears wpt first;
// Read_Track_Point sets position, time and the format's fields and leaves
// the header fields (Ident, Color, Dspl) as they are. False when the format
// has no layout here.
bool Read_Waypoint(std::string_view format, PacketView packet, cWaypoint& wpt);
bool Read_Track_Point(std::string_view format, PacketView packet, cTrack& trk);

} // namespace brenvik

namespace brenvik {

// The almanac in "D500", "D501", "D550" or "D551" into a (svid is kept for
// D500 and D501); false, a unchanged, for any other format.
bool Decode_Almanac(std::string_view format, PacketView packet, cAlmanac& a);
cLap Decode_Lap(PacketView packet);
// The five texts come from the size byte's text area (none below 45 bytes).
cFlightbook_Record Decode_Flightbook(PacketView packet);
cVoltages Decode_Voltages(PacketView packet); // hundredths of a volt
// The unit ID read as unsigned, in decimal digits.
std::string Decode_Unit_ID(PacketView packet);
double ULong_To_Double(std::int32_t value);

} // namespace brenvik
