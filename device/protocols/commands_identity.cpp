// Unit identity, unit name and custom icons. Filled by the identity issue.
#include "device/protocols/detail/control.h"

namespace brenvik {

void Control::Request_GPS_Name() {}
void Control::Change_GPS_Name(const std::string&) {}
void Control::Request_Icon(std::int32_t) {}
void Control::Send_Icon(std::int32_t, const ByteArray&) {}
void Control::Decode_Unit_ID(const Packet&) {}
void Control::Receive_Expanded_Packet(const Packet&) {}

} // namespace brenvik
