// What an exception that reaches a trap stands for, and the last guard of
// a handler run from a window: no exception ends the program.
#pragma once

#include "platform/automation/vb_error.h"

#include <exception>
#include <functional>
#include <string>

namespace platform { class Dialogs; }

namespace app {

// The run-time error an exception stands for: a VbError as it is; out of
// memory error 7; a file-system error the file error of its system error
// number; anything else error 51 "Internal error" with its own text. The
// source of those the program raised itself is "trekfold".
platform::VbError run_time_error(const std::exception& e);
// The same for the exception being handled (inside a catch), whatever its type.
platform::VbError run_time_error(std::exception_ptr e);

// The text of the program's error box for an error: "Error " number ": "
// description ". Source: " source ("Trekfold" when it has none).
std::string error_box_text(const platform::VbError& e);

// Runs `handler`; an exception that no trap of it caught is shown in the
// program's error box (critical icon, titled `title`) and goes no further.
// Never throws: a box that cannot be shown is given up.
void run_guarded(platform::Dialogs& dialogs, const std::string& title, const std::function<void()>& handler) noexcept;
// The same with the title made only when there is an error to show; without
// `dialogs` the error goes to the standard error stream.
void run_guarded(platform::Dialogs* dialogs, const std::function<std::string()>& title,
                 const std::function<void()>& handler) noexcept;

} // namespace app
