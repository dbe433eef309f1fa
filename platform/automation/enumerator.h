// A variant enumerator (For Each): a copy of the values taken when it was
// made, walked with Next, Skip, Reset and Clone. Through late binding the
// same four members answer to their names.
#pragma once

#include "platform/automation/dispatch.h"

#include <cstddef>
#include <vector>

namespace platform {

class Enumerator : public Dispatch {
public:
    explicit Enumerator(std::vector<Variant> values, std::size_t position = 0);

    // Up to `count` values from the current position; S_OK when all came,
    // S_FALSE when fewer did.
    std::uint32_t Next(std::size_t count, std::vector<Variant>& out);
    std::uint32_t Skip(std::size_t count);
    void Reset() { position_ = 0; }
    std::shared_ptr<Enumerator> Clone() const;

    std::optional<DispId> GetIDOfName(std::string_view name) const override;
    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override;

private:
    std::vector<Variant> values_;
    std::size_t position_;
};

} // namespace platform
