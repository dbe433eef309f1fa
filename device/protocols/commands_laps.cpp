// Laps and flight book: each received record becomes a new object, added to
// its collection; uploads send the current object, one record at a time.
#include "device/protocols/codec/decode.h"
#include "device/protocols/codec/encode.h"
#include "device/protocols/detail/control.h"

namespace brenvik {

void Control::Decode_Lap(const Packet& packet)
{
    auto lap = std::make_shared<cLap>(brenvik::Decode_Lap(packet));
    store_.Lap = lap;
    RecordStore::Use(store_.Laps).push_back(lap);
}

void Control::Decode_Flightbook(const Packet& packet)
{
    auto rec = std::make_shared<cFlightbook_Record>(brenvik::Decode_Flightbook(packet));
    store_.Flightbook_Record = rec;
    RecordStore::Use(store_.Flightbook).push_back(rec);
}

void Control::Send_Lap()
{
    std::optional<Packet> packet;
    if (!Is_Blank(props_.Laps_Transfer_Protocol)) packet = Encode_Lap(*store_.Lap, props_.PID_Lap);
    Send_Record(packet, "GPS model/version does not support Lap Data");
}

void Control::Send_Flightbook_Record()
{
    std::optional<Packet> packet;
    if (!Is_Blank(props_.Flightbook_Transfer_Protocol))
        packet = Encode_Flightbook(*store_.Flightbook_Record, props_.PID_Flightbook_Record);
    Send_Record(packet, "GPS model/version does not support Flightbook Data");
}

} // namespace brenvik
