#include "platform/automation/enumerator.h"

#include "platform/automation/vb_error.h"

namespace platform {

Enumerator::Enumerator(std::vector<Variant> values, std::size_t position)
    : values_(std::move(values)), position_(position)
{
}

std::uint32_t Enumerator::Next(std::size_t count, std::vector<Variant>& out)
{
    out.clear();
    while (out.size() < count && position_ < values_.size()) out.push_back(values_[position_++]);
    return out.size() == count ? S_OK : S_FALSE;
}

std::uint32_t Enumerator::Skip(std::size_t count)
{
    std::size_t left = values_.size() - position_;
    position_ += std::min(count, left);
    return count <= left ? S_OK : S_FALSE;
}

std::shared_ptr<Enumerator> Enumerator::Clone() const { return std::make_shared<Enumerator>(values_, position_); }

namespace {
const char* const kNames[] = {"Next", "Skip", "Reset", "Clone"};
}

std::optional<DispId> Enumerator::GetIDOfName(std::string_view name) const
{
    for (DispId i = 0; i < 4; ++i)
        if (NameEquals(kNames[i], name)) return i + 1;
    return std::nullopt;
}

// Next(count) gives an array of the values it took (lower bound 0).
Variant Enumerator::Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args)
{
    auto count = [&] { return args.empty() ? std::size_t(1) : std::size_t(std::max(0, args[0].ToInt32())); };
    switch (id) {
    case 1: {
        std::vector<Variant> got;
        Next(count(), got);
        VariantArray a(0, std::int32_t(got.size()));
        for (std::size_t i = 0; i < got.size(); ++i) a.at(std::int32_t(i)) = std::move(got[i]);
        return Variant(std::move(a));
    }
    case 2: return Variant(Skip(count()) == S_OK);
    case 3: Reset(); return {};
    case 4: return Variant(ObjectRef(Clone()));
    }
    throw VbError(438, "", "Object doesn't support this property or method");
}

} // namespace platform
