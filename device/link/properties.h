// The control's protocol names, packet identifiers and command values, the
// values taken from received packets, and the stored link settings.
//
// The control's own code (negotiation, decoders, the L002 switch) writes the
// fields directly. The host reaches them by name through the property table:
// it may read every one but assign only Port, Settings and IgnoreCheckSum;
// any other assignment raises error 383 and keeps the stored value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace brenvik {

class cSAK;

struct ProtocolProperties {
    // Protocol and data-format names (four characters; blanks = unsupported).
    std::string Link_Protocol = "L001";
    std::string WayPoint_Transfer_Protocol = "A100";
    std::string Laps_Transfer_Protocol = "A906";
    std::string Flightbook_Transfer_Protocol = "A650";
    std::string Route_Transfer_Protocol = "A200";
    std::string Track_Transfer_Protocol = "    ";
    std::string Prox_Wpt_Transfer_Protocol = "    ";
    std::string Waypoint_Data_Format = "D100";
    std::string Laps_Data_Format = "D906";
    std::string Flightbook_Data_Format = "D650";
    std::string Route_Header_Format = "D200";
    std::string Route_Link_Format = "    ";
    std::string Route_Wpt_Data_Format = "D100";
    std::string Track_Header_Format = "    ";
    std::string Track_Point_Format = "    ";
    std::string Prox_Wpt_Data_Format = "    ";
    std::string Date_Data_Format = "D600";
    std::string Date_Transfer_Protocol = "A600";
    std::string Posn_Transfer_Protocol = "A700";
    std::string Pvt_Transfer_Protocol = "A800";
    std::string Posn_Data_Format = "D700";
    std::string Pvt_Data_Format = "D800";
    std::string Almanac_Transfer_Protocol = "A500";
    std::string Almanac_Data_Format = "D500";
    // The command protocol name ("A010"/"A011"); not exposed to the host.
    std::string Command_Protocol;

    // Command values (first data byte of a command packet).
    std::uint8_t CMND_Reset_Transfer = 0;
    std::uint8_t CMND_Transfer_Alm = 1;
    std::uint8_t CMND_Transfer_Posn = 2;
    std::uint8_t CMND_Transfer_Flightbook = 92;
    std::uint8_t CMND_Transfer_Lap = 117;
    std::uint8_t CMND_Transfer_Prx = 3;
    std::uint8_t CMND_Transfer_Rte = 4;
    std::uint8_t CMND_Transfer_Time = 5;
    std::uint8_t CMND_Transfer_Trk = 6;
    std::uint8_t CMND_Transfer_Wpt = 7;
    std::uint8_t CMND_Turn_Off_Pwr = 8;
    std::uint8_t CMND_Start_Pvt_Data = 49;
    std::uint8_t CMND_Stop_Pvt_Data = 50;
    std::uint8_t CMND_Start_Async = 255;
    std::uint8_t CMND_Change_Baud = 48;  // the ID of the baud-rate change request

    // Packet identifiers (byte 1 of a packet).
    std::uint8_t PID_Command_Data = 10;
    std::uint8_t PID_Xfer_Cmplt = 12;
    std::uint8_t PID_Position_Data = 17;
    std::uint8_t PID_Date_Time = 14;
    std::uint8_t PID_Prx_Wpt_Data = 19;
    std::uint8_t PID_Records = 27;
    std::uint8_t PID_Rte_Wpt_Data = 30;
    std::uint8_t PID_Almanac_Data = 31;
    std::uint8_t PID_Trk_Data = 34;
    std::uint8_t PID_Wpt_Data = 35;
    std::uint8_t PID_Pvt_Data = 51;
    std::uint8_t PID_Product_Rqst = 254;
    std::uint8_t PID_Product_Data = 255;
    std::uint8_t PID_Baud_Reply = 49;
    std::uint8_t PID_Ack_Byte = 6;
    std::uint8_t PID_Nak_Byte = 21;
    std::uint8_t PID_Protocol_Array = 253;
    std::uint8_t PID_Rte_Hdr = 29;
    std::uint8_t PID_Trk_Hdr = 99;
    std::uint8_t PID_Lap = 149;
    std::uint8_t PID_Sats = 114;
    std::uint8_t PID_Flightbook_Record = 134;
    std::uint8_t PID_Rte_Link = 98;
    std::uint8_t PID_Voltages = 40;
    std::uint8_t PID_Display_Data = 69;
    std::uint8_t PID_Unit_ID = 38;
    std::uint8_t PID_Expanded_Packet = 123;

    // Values taken from received packets.
    std::int16_t Incoming_Records_Count = 0;
    std::int32_t PID_Expanded_ID = 0;
    std::int32_t PID_Icon = 0;
    std::int32_t PID_Expanded_Length = 0;

    // Stored link settings (the host may assign these).
    std::int16_t Port = 1;
    std::string Settings = "9600,N,8,1";
    bool IgnoreCheckSum = false;

    // The packet and command IDs of the first or second link/command protocol.
    void apply_L001_ids();
    void apply_L002_ids();
};

// "major.minor.revision" of the library, e.g. "2.4.3".
std::string version();

// A property value as the late-bound face passes it.
using PropValue = std::variant<bool, std::uint8_t, std::int16_t, std::int32_t, std::string>;
enum class PropType { Text, Byte, Int16, Int32, Boolean };

struct PropertyEntry {
    const char* name;
    std::int32_t dispid;  // 0x68030000 + n
    PropType type;
    bool readable;        // false only for the assign-only twin PID_Expanded_Lengh
    bool host_settable;   // Port, Settings, IgnoreCheckSum
};

// Every property of this family, in one table.
std::span<const PropertyEntry> property_table();
// Looks a property up by name (letter case ignored) or by dispatch id.
const PropertyEntry* find_property(std::string_view name);
const PropertyEntry* find_property(std::int32_t dispid);

// Reads a property by name; nothing for an unknown or unreadable name.
std::optional<PropValue> get_property(const ProtocolProperties& p, std::string_view name);
// Assigns through the host's face: stores Port, Settings or IgnoreCheckSum
// (numeric values are converted; a text for a number is refused with error 13);
// any other property of the table raises platform::VbError 383 with
// sak.xLate("Property is Read Only") and keeps the stored value.
// Returns false for a name that is not in the table.
bool host_set_property(ProtocolProperties& p, std::string_view name, const PropValue& value,
                       cSAK& sak);

} // namespace brenvik
