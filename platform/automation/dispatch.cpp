#include "platform/automation/dispatch.h"

#include <stdexcept>

#include "platform/automation/vb_error.h"

namespace platform {
namespace {

[[noreturn]] void no_member() { throw VbError(438, "", "Object doesn't support this property or method"); }
[[noreturn]] void bad_call() { throw VbError(450, "", "Wrong number of arguments or invalid property assignment"); }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

} // namespace

bool NameEquals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

DispId IdOfName(const Dispatch& object, std::string_view name)
{
    auto id = object.GetIDOfName(name);
    if (!id) no_member();
    return *id;
}

Variant CallByName(Dispatch& object, std::string_view name, std::vector<Variant> args)
{
    return object.Invoke(IdOfName(object, name), InvokeKind::Method, args);
}

Variant GetByName(Dispatch& object, std::string_view name, std::vector<Variant> args)
{
    return object.Invoke(IdOfName(object, name), InvokeKind::PropertyGet, args);
}

void LetByName(Dispatch& object, std::string_view name, Variant value)
{
    std::vector<Variant> args{std::move(value)};
    object.Invoke(IdOfName(object, name), InvokeKind::PropertyPut, args);
}

void SetByName(Dispatch& object, std::string_view name, ObjectRef value)
{
    std::vector<Variant> args{Variant(std::move(value))};
    object.Invoke(IdOfName(object, name), InvokeKind::PropertyPutRef, args);
}

void MemberTable::Add(Member m)
{
    // One id is one member: a second name on it would never be reached.
    for (const Member& other : members_)
        if (other.id == m.id && !NameEquals(other.name, m.name))
            throw std::logic_error("member " + m.name + " reuses the id of " + other.name);
    members_.push_back(std::move(m));
}

std::optional<DispId> MemberTable::IdOf(std::string_view name) const
{
    for (const Member& m : members_)
        if (NameEquals(m.name, name)) return m.id;
    return std::nullopt;
}

const Member* MemberTable::Find(DispId id, InvokeKind kind) const
{
    for (const Member& m : members_) {
        if (m.id != id) continue;
        switch (kind) {
        case InvokeKind::Method:
        case InvokeKind::PropertyGet:
            if (m.call || m.get) return &m;
            break;
        case InvokeKind::PropertyPut:
            if (m.let) return &m;
            break;
        case InvokeKind::PropertyPutRef:
            if (m.set || m.let) return &m;
            break;
        }
    }
    return nullptr;
}

Variant MemberTable::Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) const
{
    bool known = false;
    for (const Member& m : members_)
        if (m.id == id) known = true;
    if (!known) no_member();
    const Member* m = Find(id, kind);
    if (!m) bad_call();
    switch (kind) {
    case InvokeKind::Method:
    case InvokeKind::PropertyGet: {
        if (int(args.size()) < m->min_args || int(args.size()) > m->max_args) bad_call();
        if (kind == InvokeKind::Method && m->call) return m->call(args);
        if (m->get) return m->get(args);
        return m->call(args);
    }
    case InvokeKind::PropertyPut:
    case InvokeKind::PropertyPutRef: {
        // The assigned value comes last, after any index arguments.
        if (args.empty() || int(args.size()) - 1 < m->min_args || int(args.size()) - 1 > m->max_args) bad_call();
        Variant value = args.back();
        std::vector<Variant> index(args.begin(), args.end() - 1);
        if (kind == InvokeKind::PropertyPutRef && m->set)
            m->set(index, value);
        else
            m->let(index, value);
        return {};
    }
    }
    bad_call();
}

} // namespace platform
