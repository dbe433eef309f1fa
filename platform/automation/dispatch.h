// Late binding: an object that resolves member names to dispatch identifiers
// and invokes members by identifier with Variant arguments, and the sink
// through which such an object raises its events.
#pragma once

#include "platform/automation/variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using DispId = std::int32_t;

enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4, PropertyPutRef = 8 };

// Receives the events of one object: the event's dispatch identifier and its
// arguments, which are passed by reference (a handler may change them).
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void Invoke(DispId id, std::vector<Variant>& args) = 0;
};

class Dispatch {
public:
    virtual ~Dispatch() = default;
    // Member name (any case) to its dispatch identifier.
    virtual std::optional<DispId> GetIDOfName(std::string_view name) const = 0;
    // Arguments in declaration order, by reference; omitted trailing optional
    // arguments are simply absent. Failures throw VbError: 438 for a member
    // the object lacks, 450 for a wrong argument count or a refused kind.
    virtual Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) = 0;
    // Another interface of the same object by interface identifier, or null.
    virtual void* QueryInterface(std::string_view iid) { return nullptr; }
    // Connects (or, with null, disconnects) the sink of the default source
    // interface. Objects without events ignore it.
    virtual void Advise(std::shared_ptr<EventSink> sink) {}
};

// Name-based calls, for hosts and tests: each resolves the name first
// (438 "Object doesn't support this property or method" when unknown).
DispId IdOfName(const Dispatch& object, std::string_view name);
Variant CallByName(Dispatch& object, std::string_view name, std::vector<Variant> args = {});
Variant GetByName(Dispatch& object, std::string_view name, std::vector<Variant> args = {});
void LetByName(Dispatch& object, std::string_view name, Variant value);
void SetByName(Dispatch& object, std::string_view name, ObjectRef value);

// A member table for objects that implement Dispatch from a fixed list:
// each member has a name, an identifier and the handlers it supports.
struct Member {
    using Getter = std::function<Variant(std::vector<Variant>& args)>;
    using Putter = std::function<void(std::vector<Variant>& args, const Variant& value)>;
    std::string name;
    DispId id = 0;
    Getter call;    // method
    Getter get;     // property read
    Putter let;     // property assignment by value
    Putter set;     // property assignment by reference (objects)
    int min_args = 0;
    int max_args = 0;
};

class MemberTable {
public:
    void Add(Member m);
    std::optional<DispId> IdOf(std::string_view name) const;
    const Member* Find(DispId id, InvokeKind kind) const;
    // Dispatches to the member's handler; throws 438 / 450 as Dispatch says.
    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) const;
    const std::vector<Member>& members() const { return members_; }

private:
    std::vector<Member> members_;
};

bool NameEquals(std::string_view a, std::string_view b); // ignoring ASCII case

// An object whose late-bound members are the entries of its table (Base is
// Dispatch or a class derived from it); subclasses fill `members_`.
template <class Base = Dispatch>
class TableDispatch : public Base {
public:
    std::optional<DispId> GetIDOfName(std::string_view name) const override { return members_.IdOf(name); }
    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override
    {
        return members_.Invoke(id, kind, args);
    }

protected:
    MemberTable members_;
};

} // namespace platform
