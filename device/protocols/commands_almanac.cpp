// Almanac transfer: every almanac packet overwrites the one Almanac object;
// uploads send it in the negotiated format.
#include "device/protocols/codec/decode.h"
#include "device/protocols/codec/encode.h"
#include "device/protocols/detail/control.h"

namespace brenvik {

void Control::Request_Almanac_Data()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    Clear_Input();
    // Identification settles the almanac's format.
    Request_Product_Data();
    if (!Send_Packet(Command_Packet(props_.CMND_Transfer_Alm), props_.PID_Almanac_Data, 2)) link_->No_Response();
}

void Control::Decode_Almanac(const Packet& packet)
{
    brenvik::Decode_Almanac(props_.Almanac_Data_Format, packet, *store_.Almanac);
}

// No transfer protocol is checked; a format without a layout sends nothing.
void Control::Send_Almanac_Data()
{
    Send_Record(Encode_Almanac(props_.Almanac_Data_Format, *store_.Almanac, props_.PID_Almanac_Data),
                "GPS model/version does not support Almanac Data");
}

} // namespace brenvik
