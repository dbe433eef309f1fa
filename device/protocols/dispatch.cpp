// Packet dispatch: every checked packet from the receiver goes to the decoder
// of its kind, chosen by comparing its ID with the packet-ID properties as
// they are now, in a fixed order (first match wins).
#include "device/protocols/detail/control.h"

#include "device/protocols/codec/decode.h"
#include "device/protocols/detail/record_objects.h"

namespace brenvik {

namespace {

using Handler = void (*)(Control&, const Packet&);
using Matcher = bool (*)(const ProtocolProperties&, std::uint8_t id);

struct Dispatch_Row {
    Matcher matches;
    Handler handle;
};

void waypoint(Control& c, const Packet& p)
{
    const ProtocolProperties& pr = c.props();
    std::uint8_t id = p[1];
    if (id == pr.PID_Wpt_Data)
        Decode_Waypoint(pr.Waypoint_Data_Format, p, c.store(), Waypoint_Packet::Plain);
    else if (id == pr.PID_Rte_Wpt_Data)
        Decode_Waypoint(pr.Route_Wpt_Data_Format, p, c.store(), Waypoint_Packet::Route);
    else
        Decode_Waypoint(pr.Prox_Wpt_Data_Format, p, c.store(), Waypoint_Packet::Proximity);
}

#define ID_IS(field) [](const ProtocolProperties& pr, std::uint8_t id) { return id == pr.field; }
#define ID_VALUE(v) [](const ProtocolProperties&, std::uint8_t id) { return id == (v); }

const Dispatch_Row kRows[] = {
    {ID_IS(PID_Trk_Hdr),
     [](Control& c, const Packet& p) { Decode_Track_Header(c.props().Track_Header_Format, p, c.store()); }},
    {ID_IS(PID_Trk_Data),
     [](Control& c, const Packet& p) { Decode_Track_Point(c.props().Track_Point_Format, p, c.store()); }},
    {ID_IS(PID_Records), [](Control& c, const Packet& p) { c.Decode_Records(p); }},
    {ID_IS(PID_Product_Data), [](Control& c, const Packet& p) { c.Decode_Product_Data(p); }},
    {ID_VALUE(248), [](Control& c, const Packet& p) { c.Decode_Ext_Product_Data(p); }},
    {ID_IS(PID_Protocol_Array), [](Control& c, const Packet& p) { c.Parse_Protocol_Array(p); }},
    {ID_IS(PID_Unit_ID), [](Control& c, const Packet& p) { c.Decode_Unit_ID(p); }},
    {ID_IS(PID_Date_Time), [](Control& c, const Packet& p) { Decode_Date_Time(p, c.store()); }},
    {ID_IS(PID_Pvt_Data), [](Control& c, const Packet& p) { Decode_Pvt(p, c.store()); }},
    {ID_IS(PID_Almanac_Data), [](Control& c, const Packet& p) { c.Decode_Almanac(p); }},
    {ID_IS(PID_Position_Data), [](Control& c, const Packet& p) { Decode_Position(p, c.store()); }},
    {[](const ProtocolProperties& pr, std::uint8_t id) {
         return id == pr.PID_Wpt_Data || id == pr.PID_Rte_Wpt_Data || id == pr.PID_Prx_Wpt_Data;
     },
     waypoint},
    {ID_IS(PID_Rte_Hdr),
     [](Control& c, const Packet& p) { Decode_Route_Header(c.props().Route_Header_Format, p, c.store()); }},
    {ID_IS(PID_Rte_Link), [](Control& c, const Packet& p) { Decode_Route_Link(p, c.store()); }},
    {ID_IS(PID_Voltages), [](Control& c, const Packet& p) { c.Decode_Voltages(p); }},
    {ID_IS(PID_Display_Data), [](Control& c, const Packet& p) { c.Build_Image(p); }},
    {ID_IS(PID_Flightbook_Record), [](Control& c, const Packet& p) { c.Decode_Flightbook(p); }},
    {ID_IS(PID_Lap), [](Control& c, const Packet& p) { c.Decode_Lap(p); }},
    {ID_IS(PID_Sats), [](Control& c, const Packet& p) { Decode_Sats(p, c.store()); }},
    {ID_IS(PID_Xfer_Cmplt), [](Control& c, const Packet& p) { c.Transfer_Complete(p); }},
    // Acknowledgements belong to the link layer.
    {[](const ProtocolProperties& pr, std::uint8_t id) { return id == pr.PID_Nak_Byte || id == pr.PID_Ack_Byte; },
     [](Control&, const Packet&) {}},
    {ID_IS(PID_Baud_Reply), [](Control& c, const Packet& p) { c.Decode_Baud_Reply(p); }},
    {[](const ProtocolProperties& pr, std::uint8_t id) { return id == pr.PID_Expanded_Packet || id == 124 || id == 125; },
     [](Control& c, const Packet& p) { c.Receive_Expanded_Packet(p); }},
};

#undef ID_IS
#undef ID_VALUE

} // namespace

void Control::Dispatch_Packet(const Packet& packet)
{
    if (packet.size() < 2) return;
    const std::uint8_t id = packet[1];
    for (const Dispatch_Row& row : kRows) {
        if (!row.matches(props_, id)) continue;
        // A malformed packet never stops the control: the decoder keeps
        // what it could read and the rest stays as it was.
        try {
            row.handle(*this, packet);
        } catch (const std::exception&) {
        }
        return;
    }
    // An ID outside the table is dropped.
}

void Control::Decode_Records(const Packet& packet)
{
    props_.Incoming_Records_Count = brenvik::Decode_Records(packet);
}

void Control::Decode_Baud_Reply(const Packet& packet)
{
    accepted_baud_ = brenvik::Decode_Baud_Reply(packet);
}

// The end of a download: hand the collection of its kind to the host. A
// count query ends its transfers without telling anyone.
void Control::Transfer_Complete(const Packet& packet)
{
    if (link_->Counting_Records) return;
    if (packet.size() < 4) return;
    const std::uint8_t kind = packet[3];
    if (kind == props_.CMND_Transfer_Wpt || kind == props_.CMND_Transfer_Prx) {
        RecordStore::Use(store_.Waypoints);
        auto list = store_.Waypoints;
        if (typed_sink_) typed_sink_->ReceivedWaypoints(list);
        if (late_sink_) raise_late(9, {platform::Variant(Wrap_List(list))});
    } else if (kind == props_.CMND_Transfer_Rte) {
        RecordStore::Use(store_.Routes);
        auto list = store_.Routes;
        if (typed_sink_) typed_sink_->ReceivedRoutes(list);
        if (late_sink_) raise_late(10, {platform::Variant(Wrap_List(list))});
    } else if (kind == props_.CMND_Transfer_Trk) {
        RecordStore::Use(store_.Tracks);
        auto list = store_.Tracks;
        if (typed_sink_) typed_sink_->ReceivedTracks(list);
        if (late_sink_) raise_late(11, {platform::Variant(Wrap_List(list))});
    }
}

} // namespace brenvik
