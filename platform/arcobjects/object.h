// The base of every object of the map host's model, and the one way to
// take an object as one of its interfaces.
//
// Model objects travel as automation values (an ObjectRef inside a
// Variant): a member that takes "an envelope" or "a layer" receives an
// ObjectRef and asks it for the interface with As<T>. Each interface class
// names itself by a static IID text and each object answers QueryInterface
// for the interfaces it has; the host and every extension library agree on
// these texts, never on C++ type identity, so a library built apart from
// the host works with the host's objects.
#pragma once

#include "platform/automation/dispatch.h"

#include <memory>
#include <string>
#include <string_view>

namespace platform::arcobjects {

using platform::Dispatch;
using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::Variant;

// An object with no late-bound members of its own (GetIDOfName finds
// nothing, Invoke raises 438); subclasses answer QueryInterface.
class Object : public Dispatch {
public:
    std::optional<DispId> GetIDOfName(std::string_view name) const override;
    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override;
    // What the object is, for dumps and printed results ("polygon", "element", ...).
    virtual std::string Kind() const = 0;
};

// The object as interface T (T::IID), sharing the object's ownership; null
// when it is null or has no such interface.
template <class T>
std::shared_ptr<T> As(const ObjectRef& object)
{
    if (!object) return nullptr;
    void* p = object->QueryInterface(T::IID);
    return p ? std::shared_ptr<T>(object, static_cast<T*>(p)) : nullptr;
}

// An object held in a Variant as interface T (Empty or Nothing give null;
// another kind of value raises 13 "Type mismatch").
template <class T>
std::shared_ptr<T> As(const Variant& value)
{
    return As<T>(value.ToObject());
}

} // namespace platform::arcobjects
