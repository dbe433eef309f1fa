// The last guard of the views: every handler a view runs for the person at
// the screen (a click, a tick, typing, a key, the close box) runs under it,
// so an exception that no trap of the handler caught becomes the program's
// error box ("Error " number ": " description ". Source: " source, titled
// with the window, control and event) and never ends the program.
//
// The views take it up by name: FormView and the other views declare a
// `connect` of their own that calls guarded_connect, so their connections
// are guarded without a word changed where they are made.
#pragma once

#include "main/app/run_time_error.h"
#include "platform/ui/dialogs.h"

#include <QMetaMethod>
#include <QObject>
#include <QVariant>

#include <cstddef>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace app {

namespace view_guard_detail {

inline constexpr const char* kErrorBox = "trekfold_error_box";

inline platform::Dialogs* error_box_of(const QObject* view)
{
    for (const QObject* o = view; o; o = o->parent()) {
        const QVariant v = o->property(kErrorBox);
        if (v.isValid()) return static_cast<platform::Dialogs*>(v.value<void*>());
    }
    return nullptr;
}

} // namespace view_guard_detail

// Where the guard shows its box: set on a window (the main window's view),
// found by every view it owns. The dialogs outlive the window.
inline void set_view_error_box(QObject* window, platform::Dialogs& dialogs)
{
    window->setProperty(view_guard_detail::kErrorBox, QVariant::fromValue(static_cast<void*>(&dialogs)));
}

// Runs a handler of `view` under the guard: the box of `view` or of the
// nearest of its owners that has one (titled title(), made only when there
// is a box to show); without any, the error goes to the standard error
// stream. Never throws.
inline void run_view_handler(const QObject* view, const std::function<std::string()>& title,
                             const std::function<void()>& handler) noexcept
{
    run_guarded(view_guard_detail::error_box_of(view), title, handler);
}

// The same with a title of its own.
inline void run_view_handler(const QObject* view, const std::string& title, const std::function<void()>& handler) noexcept
{
    run_view_handler(view, std::function<std::string()>([&title] { return title; }), handler);
}

// The event a signal stands for in a handler's name: "Click" for
// clicked, toggled, triggered, activated ..., "DblClick", "Change",
// "LostFocus", "KeyPress", "SelChange"; otherwise the signal's own name.
inline std::string view_event_name(const QMetaMethod& signal)
{
    const QByteArray name = signal.name();
    static const std::pair<const char*, const char*> kEvents[] = {
        {"clicked", "Click"},         {"toggled", "Click"},          {"triggered", "Click"},
        {"activated", "Click"},       {"currentChanged", "Click"},   {"currentRowChanged", "Click"},
        {"currentTextChanged", "Click"}, {"sectionClicked", "Click"}, {"doubleClicked", "DblClick"},
        {"itemDoubleClicked", "DblClick"}, {"textEdited", "Change"}, {"textChanged", "Change"},
        {"cursorPositionChanged", "Change"}, {"editingFinished", "LostFocus"}, {"returnPressed", "KeyPress"},
        {"selectionChanged", "SelChange"}};
    for (const auto& [signal_name, event] : kEvents)
        if (name == signal_name) return event;
    return name.toStdString();
}

namespace view_guard_detail {

template <class F, class Tuple, std::size_t... I>
constexpr bool takes(std::index_sequence<I...>)
{
    return std::is_invocable_v<F&, std::tuple_element_t<I, Tuple>...>;
}

// The number of leading signal arguments the slot takes (Qt's rule: the
// longest list it accepts); a signal's private tag is never among them.
template <class F, class Tuple, std::size_t K>
constexpr std::size_t taken()
{
    if constexpr (takes<F, Tuple>(std::make_index_sequence<K>{}))
        return K;
    else if constexpr (K == 0) {
        static_assert(K != 0, "the slot takes no leading part of the signal's arguments");
        return 0;
    } else
        return taken<F, Tuple, K - 1>();
}

template <class Tuple, class Run, std::size_t... I>
auto slot_taking(Run run, std::index_sequence<I...>)
{
    return [run = std::move(run)](std::tuple_element_t<I, Tuple>... a) mutable { run(a...); };
}

// A slot given as a member function of the receiver, as a callable.
template <class Receiver, class Slot>
auto callable(Receiver* receiver, Slot slot)
{
    if constexpr (std::is_member_function_pointer_v<Slot>)
        return [receiver, slot](auto&&... a) -> decltype(std::invoke(slot, receiver, std::forward<decltype(a)>(a)...)) {
            return std::invoke(slot, receiver, std::forward<decltype(a)>(a)...);
        };
    else
        return slot;
}

} // namespace view_guard_detail

// QObject::connect(sender, signal, context, slot) with the slot (a callable,
// or a member function of the context) run under the guard of `view`,
// titled title(sender, event name).
template <class Title, class S, class C, class R, class... A, class Receiver, class Slot>
QMetaObject::Connection guarded_connect(const QObject* view, Title title, const S* sender, R (C::*signal)(A...),
                                        Receiver* context, Slot slot)
{
    using Args = std::tuple<A...>;
    auto call = view_guard_detail::callable(context, std::move(slot));
    constexpr std::size_t k = view_guard_detail::taken<decltype(call), Args, sizeof...(A)>();
    const std::string event = view_event_name(QMetaMethod::fromSignal(signal));
    auto run = [view, sender, event, call = std::move(call), title = std::move(title)](auto&&... a) mutable {
        run_view_handler(view, std::function<std::string()>([&] { return title(static_cast<const QObject*>(sender), event); }),
                         [&] { call(a...); });
    };
    return QObject::connect(sender, signal, context,
                            view_guard_detail::slot_taking<Args>(std::move(run), std::make_index_sequence<k>{}));
}

// The same without a context: the sender is the context.
template <class Title, class S, class Signal, class Slot>
QMetaObject::Connection guarded_connect(const QObject* view, Title title, const S* sender, Signal signal, Slot slot)
{
    return guarded_connect(view, std::move(title), sender, signal, const_cast<S*>(sender), std::move(slot));
}

// The same for the views a function makes (the modal dialogs): titled
// `window`, the control's object name and the event.
template <class S, class Signal, class... Rest>
QMetaObject::Connection connect_guarded(std::string window, const S* sender, Signal signal, Rest&&... rest)
{
    return guarded_connect(
        sender,
        [window = std::move(window)](const QObject* s, const std::string& event) {
            const std::string name = s ? s->objectName().toStdString() : std::string();
            return window + (name.empty() ? std::string() : "." + name + "_" + event);
        },
        sender, signal, std::forward<Rest>(rest)...);
}

} // namespace app
