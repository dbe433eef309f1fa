// The automation class clsArcMap: the members of its default interface
// _clsArcMap by name, with dispatch identifiers in the interface's order.
#pragma once

#include "platform/automation/dispatch.h"

namespace trekfold_arcmap {

// The dispatch identifier of member n (from 1) of _clsArcMap.
constexpr platform::DispId clsArcMap_Id(int n) { return 0x60030000 + n - 1; }

platform::ObjectRef Create_clsArcMap();

} // namespace trekfold_arcmap
