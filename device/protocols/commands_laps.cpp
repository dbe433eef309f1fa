// Laps and flight book. Filled by the laps and flight-book issue.
#include "device/protocols/detail/control.h"

namespace brenvik {

void Control::Send_Lap() {}
void Control::Send_Flightbook_Record() {}
void Control::Decode_Lap(const Packet&) {}
void Control::Decode_Flightbook(const Packet&) {}

} // namespace brenvik
