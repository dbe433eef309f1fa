// The download side of the control: the record downloads, the date and time,
// the position, the PVT stream, USB polling and the record counts. Each
// command sends one command packet; the answer arrives packet by packet
// through Dispatch_Packet, while the command waits or afterwards, and the
// transfer-complete packet hands the records to the host.
#include "device/protocols/detail/control.h"

namespace brenvik {

namespace {

// The packet handed out with a "does not support" error: one zero byte.
Packet no_packet() { return Packet{0}; }

// The packet that ends asynchronous output (and a PVT stream's set-up).
constexpr std::uint8_t kAsyncStopId = 28;

// What one record download needs: the kind's transfer protocol and command
// (read after negotiation, which may change both), its message, and how to
// empty what it fills.
struct Download {
    std::string ProtocolProperties::*slot;
    std::uint8_t ProtocolProperties::*command;
    const char* unsupported;
    void (*prepare)(RecordStore&);
};

void Run_Download(Control& c, const Download& d)
{
    c.Unsupported_Reported = false;
    c.link().Counting_Records = false;
    c.Clear_Input();
    // A unit that does not identify itself has been reported once already.
    if (!c.Identify()) return;
    ProtocolProperties& pr = c.props();
    if (Is_Blank(pr.*d.slot)) {
        c.Report(d.unsupported, no_packet());
        return;
    }
    d.prepare(c.store());
    // The records packet starts the answer. A receiver that takes the
    // command but never starts the transfer would leave the host waiting
    // for an end that does not come: say so instead.
    if (!c.Send_Packet(c.Command_Packet(pr.*d.command), pr.PID_Records, 2)) c.link().No_Response();
}

void empty_waypoints(RecordStore& s) { RecordStore::Use(s.Waypoints).clear(); }
void empty_routes(RecordStore& s)
{
    RecordStore::Use(s.Routes).clear();
    // Route points decoded before the first header must not join a route
    // the host still holds from an earlier download.
    s.New_Route();
}
void empty_tracks(RecordStore& s)
{
    RecordStore::Use(s.Tracks).clear();
    // Units without track headers give their points the current track's
    // name: start from a new, blank one, never an old track's.
    s.New_Track();
}

void empty_flightbook(RecordStore& s) { RecordStore::Use(s.Flightbook).clear(); }
void empty_laps(RecordStore& s) { RecordStore::Use(s.Laps).clear(); }

} // namespace

void Control::Request_Waypoints()
{
    Run_Download(*this, {&ProtocolProperties::WayPoint_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Wpt,
                         "GPS model/version does not support Waypoints", empty_waypoints});
}

void Control::Request_Prox_Waypoints()
{
    Run_Download(*this, {&ProtocolProperties::Prox_Wpt_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Prx,
                         "GPS model/version does not support Proximity Waypoints", empty_waypoints});
}

void Control::Request_Routes()
{
    Run_Download(*this, {&ProtocolProperties::Route_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Rte,
                         "GPS model/version does not support Routes", empty_routes});
}

void Control::Request_Tracks()
{
    Run_Download(*this, {&ProtocolProperties::Track_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Trk,
                         "GPS model/version does not support Tracks", empty_tracks});
}

// The flight book and laps download like the other records; their records
// are decoded by the laps and flight-book decoders.
void Control::Request_Flightbook()
{
    Run_Download(*this, {&ProtocolProperties::Flightbook_Transfer_Protocol,
                         &ProtocolProperties::CMND_Transfer_Flightbook,
                         "GPS model/version does not support Flightbook Data", empty_flightbook});
}

void Control::Request_Laps()
{
    Run_Download(*this, {&ProtocolProperties::Laps_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Lap,
                         "GPS model/version does not support Lap Data", empty_laps});
}

// The unit's clock, decoded into Date_Time. No negotiation comes first.
void Control::Request_Date_Time()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    if (!Send_Packet(Command_Packet(props_.CMND_Transfer_Time), props_.PID_Date_Time, 1000)) link_->No_Response();
}

// The unit's position, decoded into Position.
void Control::Request_Position_Data()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    if (!Send_Packet(Command_Packet(props_.CMND_Transfer_Posn), props_.PID_Position_Data, 3)) link_->No_Response();
}

// Starts the PVT stream: once a second a PVT record, decoded into PvtData.
// A serial unit sends them by itself; on USB a timer polls for them.
void Control::Pvt_Data_Start()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    Clear_Input();
    usb_->tmrPVTData().set_enabled(false);
    if (props_.Port == 0) usb_->Drain_Input();
    Send_Packet(Make_Packet(kAsyncStopId, {0, 0}), props_.PID_Ack_Byte, 500);
    Send_Packet(Command_Packet(props_.CMND_Start_Pvt_Data), 0, 0);
    if (props_.Port == 0) {
        // The first poll at once, then one a second.
        if (usb_->path() && !usb_->path()->Read_Interrupt(0)) usb_->Drain_Input();
        usb_->tmrPVTData().set_interval_ms(1000);
        usb_->tmrPVTData().set_enabled(true);
    }
}

void Control::Pvt_Data_Stop()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    usb_->tmrPVTData().set_enabled(false);
    Send_Packet(Command_Packet(props_.CMND_Stop_Pvt_Data), props_.PID_Ack_Byte, 2);
    if (props_.Port == 0) usb_->Drain_Input();
}

// USB polling for whatever the unit sends by itself; nothing goes out.
void Control::Async_Start()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    Clear_Input();
    usb_->tmrAsync().set_interval_ms(1);
    usb_->tmrAsync().set_enabled(true);
}

void Control::Async_Stop()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    usb_->tmrAsync().set_enabled(false);
    Send_Packet(Make_Packet(kAsyncStopId, {0, 0}), props_.PID_Ack_Byte, 500);
}

// How many waypoints, routes, proximity waypoints and tracks the unit holds:
// each transfer is started, its announced count kept, and it is ended at
// once with a transfer-complete packet. A kind the unit does not support
// counts -1.
void Control::Request_Counts()
{
    Unsupported_Reported = false;
    Request_Product_Data();
    Clear_Input();
    store_.Counts->Clear();
    // While counting, records packets are not acknowledged and the ends of
    // the transfers raise no event.
    link_->Counting_Records = true;

    struct Kind {
        std::string ProtocolProperties::*slot;
        std::uint8_t ProtocolProperties::*command;
        std::int16_t cRecord_Counts::*count;
    };
    const Kind kinds[] = {
        {&ProtocolProperties::WayPoint_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Wpt,
         &cRecord_Counts::Waypoint_Records},
        {&ProtocolProperties::Route_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Rte,
         &cRecord_Counts::Route_Records},
        {&ProtocolProperties::Prox_Wpt_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Prx,
         &cRecord_Counts::Prox_Waypoint_records},
        {&ProtocolProperties::Track_Transfer_Protocol, &ProtocolProperties::CMND_Transfer_Trk,
         &cRecord_Counts::Track_Records},
    };
    for (const Kind& k : kinds) {
        props_.Incoming_Records_Count = -1;
        if (!Is_Blank(props_.*k.slot)) {
            Send_Packet(Command_Packet(props_.*k.command), props_.PID_Records, 500);
            Send_Packet(Make_Packet(props_.PID_Xfer_Cmplt, {0, 0}), props_.PID_Ack_Byte, 500);
        }
        (*store_.Counts).*k.count = props_.Incoming_Records_Count;
    }
    props_.Incoming_Records_Count = 0;

    const cRecord_Counts& n = *store_.Counts;
    if (typed_sink_)
        typed_sink_->ReceiveCounts(n.Waypoint_Records, n.Prox_Waypoint_records, n.Route_Records, n.Track_Records);
    if (late_sink_)
        raise_late(8, {platform::Variant(n.Waypoint_Records), platform::Variant(n.Prox_Waypoint_records),
                       platform::Variant(n.Route_Records), platform::Variant(n.Track_Records)});
}

} // namespace brenvik
