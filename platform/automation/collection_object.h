// A keyed collection handed to a late-bound caller: Item by key (any case)
// or 1-based index, and Count.
#pragma once

#include "platform/automation/collection.h"
#include "platform/automation/dispatch.h"

namespace platform {

class CollectionObject : public TableDispatch<> {
public:
    explicit CollectionObject(Collection<Variant> items) : items_(std::move(items))
    {
        members_.Add({"Item", 0, [this](std::vector<Variant>& a) {
                          if (a[0].Type() == VarType::String) return items_.Item(a[0].ToString());
                          return items_.Item(a[0].ToInt32());
                      }, {}, {}, {}, 1, 1});
        members_.Add({"Count", 1, {}, [this](std::vector<Variant>&) { return Variant(std::int32_t(items_.Count())); },
                      {}, {}, 0, 0});
    }
    const Collection<Variant>& items() const { return items_; }

private:
    Collection<Variant> items_;
};

} // namespace platform
