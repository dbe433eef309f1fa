// Screen capture. Filled by the screen-capture issue.
#include "device/protocols/detail/control.h"

namespace brenvik {

void Control::Request_Display() {}
void Control::Build_Image(const Packet&) {}

} // namespace brenvik
