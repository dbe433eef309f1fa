// Voltages and NMEA sending. Filled by the voltages issue.
#include "device/protocols/detail/control.h"

namespace brenvik {

void Control::Request_Voltages() {}
void Control::Decode_Voltages(const Packet&) {}
void Control::NMEA_Send(const std::string&) {}

} // namespace brenvik
