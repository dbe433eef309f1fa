#include "main/app/run_time_error.h"

#include "platform/ui/dialogs.h"

#include <filesystem>
#include <iostream>
#include <new>
#include <system_error>

namespace app {

using platform::VbError;

VbError run_time_error(const std::exception& e)
{
    if (const auto* v = dynamic_cast<const VbError*>(&e)) return *v;
    if (dynamic_cast<const std::bad_alloc*>(&e)) return VbError(7, "trekfold", "Out of memory");
    if (const auto* f = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
        VbError v = platform::FileError(f->code().value(), "trekfold");
        if (!f->path1().empty()) v.description += " (" + f->path1().string() + ")";
        return v;
    }
    return VbError(51, "trekfold", std::string("Internal error: ") + e.what());
}

VbError run_time_error(std::exception_ptr e)
{
    try {
        if (e) std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return run_time_error(x);
    } catch (...) {
    }
    return VbError(51, "trekfold", "Internal error");
}

std::string error_box_text(const VbError& e)
{
    return "Error " + std::to_string(e.number) + ": " + e.description + ". Source: " +
           (e.source.empty() ? std::string("Trekfold") : e.source);
}

void run_guarded(platform::Dialogs& dialogs, const std::string& title, const std::function<void()>& handler) noexcept
{
    run_guarded(&dialogs, std::function<std::string()>([&title] { return title; }), handler);
}

void run_guarded(platform::Dialogs* dialogs, const std::function<std::string()>& title,
                 const std::function<void()>& handler) noexcept
{
    try {
        try {
            handler();
        } catch (...) {
            const std::string text = error_box_text(run_time_error(std::current_exception()));
            if (dialogs)
                dialogs->MsgBox(text, platform::vbCritical, title());
            else
                std::cerr << "trekfold: " << title() << ": " << text << '\n';
        }
    } catch (...) {
        // Nothing more can be told; the event loop must go on.
    }
}

} // namespace app
