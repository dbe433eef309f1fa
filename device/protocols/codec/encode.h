// Record encoders: the packets the host sends to the receiver on upload.
//
// Entry points, one per upload command of the control (the command checks
// its transfer protocol, calls the encoder, and hands the packet to
// Send_Packet; it raises its "does not support" error once when the result
// is std::nullopt):
//   Send_Waypoint        Encode_Waypoint(Waypoint_Data_Format, Waypoint, PID_Wpt_Data, false)
//   Send_Route_Waypoint  Encode_Waypoint(Route_Wpt_Data_Format, Waypoint, PID_Rte_Wpt_Data, false)
//   Send_Prox_Waypoint   Encode_Waypoint(Prox_Wpt_Data_Format, Waypoint, PID_Prx_Wpt_Data, true)
//   Send_Route_Header    Encode_Route_Header(Route_Header_Format, Route, PID_Rte_Hdr)
//   Send_Route_Link      Encode_Route_Link(Route, PID_Rte_Link)   (always D210)
//   Send_Track_Header    Encode_Track_Header(Track_Header_Format, Track, PID_Trk_Hdr)
//   Send_Track           Encode_Track_Point(Track_Point_Format, Track, PID_Trk_Data)
//   Start_of_Records     Encode_Records(PID_Records, ocount)
//   End_of_Records       Encode_Xfer_Cmplt(PID_Xfer_Cmplt)
//   Send_Position_Data   Encode_Position(Position, PID_Position_Data)
//
// Every packet is a Host_Packet of data size + 6 bytes: [0] DLE, [1] ID,
// [2] size, data, then the checksum slot LEFT 0 for the link to fill, DLE,
// ETX. Texts are upper-cased where the format asks, sent as Windows-1252,
// and shortened (last text first, the identifier last) so that the data
// never exceeds 255 bytes. std::nullopt: the format name is blank or one
// these encoders do not know; nothing is to be sent.
#pragma once

#include "device/protocols/codec/writers.h"
#include "device/protocols/records.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace brenvik {

using Encoded = std::optional<Packet>;

// D100 to D110, D150 to D155; D400, D403 and D450 (the proximity forms of
// D100, D103 and D150). `proximity` selects those forms for D100, D103, D150.
Encoded Encode_Waypoint(std::string_view format, const cWaypoint& wpt, std::uint8_t id,
                        bool proximity);
// D200, D201, D202.
Encoded Encode_Route_Header(std::string_view format, const cRoute& route, std::uint8_t id);
// The D210 layout.
Packet Encode_Route_Link(const cRoute& route, std::uint8_t id);
// D310, D311, D312.
Encoded Encode_Track_Header(std::string_view format, const cTrack& track, std::uint8_t id);
// D300 to D304.
Encoded Encode_Track_Point(std::string_view format, const cTrack& track, std::uint8_t id);

// The records packet announcing ocount records (16-bit little-endian).
Packet Encode_Records(std::uint8_t id, std::int16_t ocount);
// The transfer-complete packet; its two data bytes carry `command`, which
// the control leaves 0 whatever kind of records was sent.
Packet Encode_Xfer_Cmplt(std::uint8_t id, std::uint16_t command = 0);
// D700: latitude and longitude as little-endian doubles in radians.
Packet Encode_Position(const cPosition& position, std::uint8_t id);

} // namespace brenvik

namespace brenvik {

// The almanac in "D500", "D501", "D550" or "D551"; nullopt for any other
// format (blank included).
Encoded Encode_Almanac(std::string_view format, const cAlmanac& a, std::uint8_t id);
// The lap, 32 data bytes. Times: the stored seconds, or when 0 the count of
// the time text.
Packet Encode_Lap(const cLap& lap, std::uint8_t id);
// The flight-book record: 45 bytes and the five texts upper-cased, each with
// its NUL; texts cut from the last backwards so the data stays within 255.
Packet Encode_Flightbook(const cFlightbook_Record& r, std::uint8_t id);

} // namespace brenvik
