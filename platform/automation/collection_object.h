// A keyed collection handed to a late-bound caller: Item by key (any case)
// or 1-based index, and Count.
#pragma once

#include "platform/automation/collection.h"
#include "platform/automation/dispatch.h"

namespace platform {

class CollectionObject : public Dispatch {
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
    std::optional<DispId> GetIDOfName(std::string_view name) const override { return members_.IdOf(name); }
    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override
    {
        return members_.Invoke(id, kind, args);
    }
    const Collection<Variant>& items() const { return items_; }

private:
    Collection<Variant> items_;
    MemberTable members_;
};

} // namespace platform
