// Almanac transfer. Filled by the almanac issue.
#include "device/protocols/detail/control.h"

namespace brenvik {

void Control::Request_Almanac_Data() {}
void Control::Send_Almanac_Data() {}
void Control::Decode_Almanac(const Packet&) {}

} // namespace brenvik
