#include "platform/arcobjects/features.h"
#include "platform/arcobjects/workspace.h"

#include "platform/automation/vb_error.h"

namespace platform::arcobjects {

const Variant& Feature::Value(int index) const
{
    static const Variant empty;
    return index >= 0 && static_cast<std::size_t>(index) < Values.size() ? Values[index] : empty;
}

void Feature::set_Value(int index, const Variant& value)
{
    if (index < 0 || static_cast<std::size_t>(index) >= Values.size())
        throw VbError(5, "Feature", "Invalid procedure call or argument");
    Values[index] = value;
}

void* Feature::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }
void* FeatureClass::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }
void* Workspace::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

} // namespace platform::arcobjects
