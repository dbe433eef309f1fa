#include "main/views/view_guard.h"

#include "main/app/run_time_error.h"
#include "platform/ui/dialogs.h"

#include <QVariant>

#include <cstring>
#include <iostream>

namespace app {

namespace {

constexpr const char* kErrorBox = "trekfold_error_box";

platform::Dialogs* error_box_of(const QObject* view)
{
    for (const QObject* o = view; o; o = o->parent()) {
        const QVariant v = o->property(kErrorBox);
        if (v.isValid()) return static_cast<platform::Dialogs*>(v.value<void*>());
    }
    return nullptr;
}

} // namespace

void set_view_error_box(QObject* window, platform::Dialogs& dialogs)
{
    window->setProperty(kErrorBox, QVariant::fromValue(static_cast<void*>(&dialogs)));
}

void run_view_handler(const QObject* view, const std::string& title, const std::function<void()>& handler) noexcept
{
    run_view_handler(view, std::function<std::string()>([&title] { return title; }), handler);
}

void run_view_handler(const QObject* view, const std::function<std::string()>& title,
                      const std::function<void()>& handler) noexcept
{
    try {
        try {
            handler();
        } catch (...) {
            const platform::VbError e = run_time_error(std::current_exception());
            const std::string where = title();
            if (platform::Dialogs* dialogs = error_box_of(view))
                dialogs->MsgBox(error_box_text(e), platform::vbCritical, where);
            else
                std::cerr << "trekfold: " << where << ": " << error_box_text(e) << '\n';
        }
    } catch (...) {
        // Nothing more can be told; the event loop must go on.
    }
}

std::string view_event_name(const QMetaMethod& signal)
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

} // namespace app
