// The record classes and collections as late-bound objects: each field a
// property under its dispatch identifier (0x40030000 + n). An object wraps
// the control's own record, so both faces see the same fields.
#pragma once

#include "device/protocols/records.h"
#include "platform/automation/dispatch.h"

#include <memory>

namespace brenvik {

platform::ObjectRef Wrap(std::shared_ptr<cWaypoint> r);
platform::ObjectRef Wrap(std::shared_ptr<cRoute> r);
platform::ObjectRef Wrap(std::shared_ptr<cTrack> r);
platform::ObjectRef Wrap(std::shared_ptr<cPvtData> r);
platform::ObjectRef Wrap(std::shared_ptr<cPosition> r);
platform::ObjectRef Wrap(std::shared_ptr<cDate_Time> r);
platform::ObjectRef Wrap(std::shared_ptr<cProduct_Data> r);
platform::ObjectRef Wrap(std::shared_ptr<cVoltages> r);
platform::ObjectRef Wrap(std::shared_ptr<cRecord_Counts> r);
platform::ObjectRef Wrap(std::shared_ptr<cAlmanac> r);
platform::ObjectRef Wrap(std::shared_ptr<cDisplay> r);
platform::ObjectRef Wrap(std::shared_ptr<cFlightbook_Record> r);
platform::ObjectRef Wrap(std::shared_ptr<cLap> r);
platform::ObjectRef Wrap(std::shared_ptr<cSat> r);

// A collection (Count, Item with a 1-based index, Remove) over the list
// itself, so emptying it in place shows through.
template <class T>
platform::ObjectRef Wrap_List(RecordListRef<T> list);

// The record behind an object of the given class; null for Nothing. Another
// kind of object throws 13 "Type mismatch".
template <class T>
std::shared_ptr<T> Unwrap(const platform::ObjectRef& object);
template <class T>
RecordListRef<T> Unwrap_List(const platform::ObjectRef& object);

// The interface identifier of a record class ("_cWaypoint" and so on).
template <class T>
const char* Interface_Id();

} // namespace brenvik
