// The upload side of the control. The host fills a current record object
// (Waypoint, Route, Track, Position) and calls the matching send command,
// one record per acknowledgement on a serial port, all in one loop on USB;
// Start_of_Records and End_of_Records bracket a transfer. Every packet of an
// upload goes through Send_Upload_Packet, so a unit that stops acknowledging
// ends the transfer the same way at whichever packet it stops.
#include "device/protocols/detail/control.h"

#include "device/protocols/codec/encode.h"

namespace brenvik {

namespace {

// Write_Only: the packet goes out and nothing is awaited.
constexpr std::uint8_t kWriteOnly = 2;

// The common frame of the seven send commands. A kind the unit does not
// support, or a record format the encoders do not know, sends nothing and
// raises the "does not support" error once per transfer.
template <class Encode>
void Send_Kind(Control& c, const std::string& protocol, const char* unsupported, Encode encode)
{
    Encoded packet;
    if (!Is_Blank(protocol)) packet = encode();
    c.Send_Record(packet, unsupported);
}

} // namespace

void Control::Send_Record(const std::optional<Packet>& packet, const char* unsupported)
{
    if (!packet) {
        if (!Unsupported_Reported) Report(unsupported, Packet{0});
        Unsupported_Reported = true;
        return;
    }
    Send_Upload_Packet(*packet, kWriteOnly);
}

bool Control::Send_Upload_Packet(const Packet& packet, std::uint8_t usb_response)
{
    if (props_.Port == 0) return Send_Packet(packet, usb_response, 2);
    // A wait of 0 is the reply time-out (Time_Out).
    return link_->Send_Acknowledged(packet, 0);
}

void Control::Start_of_Records(std::int16_t ocount)
{
    Unsupported_Reported = false;
    // A count query leaves the link holding back Receive events; an upload
    // lives on them, so it ends here.
    link_->Counting_Records = false;
    Send_Upload_Packet(Encode_Records(props_.PID_Records, ocount), props_.PID_Ack_Byte);
}

void Control::End_of_Records()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    // The data bytes stay 0, 0 whatever kind of records went up.
    Send_Upload_Packet(Encode_Xfer_Cmplt(props_.PID_Xfer_Cmplt), props_.PID_Ack_Byte);
}

void Control::Power_Off()
{
    Unsupported_Reported = false;
    Send_Packet(Command_Packet(props_.CMND_Turn_Off_Pwr), 0, 0);
}

void Control::Send_Waypoint()
{
    auto encode = [this] {
        return Encode_Waypoint(props_.Waypoint_Data_Format, *store_.Waypoint, props_.PID_Wpt_Data, false);
    };
    Send_Kind(*this, props_.WayPoint_Transfer_Protocol, "GPS model/version does not support Waypoints", encode);
}

void Control::Send_Prox_Waypoint()
{
    auto encode = [this] {
        return Encode_Waypoint(props_.Prox_Wpt_Data_Format, *store_.Waypoint, props_.PID_Prx_Wpt_Data, true);
    };
    Send_Kind(*this, props_.Prox_Wpt_Transfer_Protocol,
                    "GPS model/version does not support Proximity Waypoints", encode);
}

void Control::Send_Route_Waypoint()
{
    auto encode = [this] {
        return Encode_Waypoint(props_.Route_Wpt_Data_Format, *store_.Waypoint, props_.PID_Rte_Wpt_Data, false);
    };
    Send_Kind(*this, props_.Route_Transfer_Protocol, "GPS model/version does not support Routes", encode);
}

void Control::Send_Route_Header()
{
    auto encode = [this] { return Encode_Route_Header(props_.Route_Header_Format, *store_.Route, props_.PID_Rte_Hdr); };
    Send_Kind(*this, props_.Route_Transfer_Protocol, "GPS model/version does not support Routes", encode);
}

// Links always go in the D210 layout, whatever the unit names.
void Control::Send_Route_Link()
{
    auto encode = [this] { return Encoded(Encode_Route_Link(*store_.Route, props_.PID_Rte_Link)); };
    Send_Kind(*this, props_.Route_Transfer_Protocol, "GPS model/version does not support Routes", encode);
}

void Control::Send_Track_Header()
{
    auto encode = [this] { return Encode_Track_Header(props_.Track_Header_Format, *store_.Track, props_.PID_Trk_Hdr); };
    Send_Kind(*this, props_.Track_Transfer_Protocol, "GPS model/version does not support Tracks", encode);
}

void Control::Send_Track()
{
    auto encode = [this] { return Encode_Track_Point(props_.Track_Point_Format, *store_.Track, props_.PID_Trk_Data); };
    Send_Kind(*this, props_.Track_Transfer_Protocol, "GPS model/version does not support Tracks", encode);
}

// The position in radians; no protocol is checked.
void Control::Send_Position_Data()
{
    Send_Packet(Encode_Position(*store_.Position, props_.PID_Position_Data), props_.PID_Ack_Byte, 2);
}

} // namespace brenvik
