// The map host's thin Qt view: the shown toolbars (menus and buttons that
// click their commands), a Toolbars menu to show the others, the status
// bar's message pane, and the focus map's graphics drawn in its extent,
// repainted at every redraw the views record.
#pragma once

#include "platform/arcobjects/application.h"
#include "platform/automation/class_registry.h"

#include <functional>

namespace maphost {

// Shows the window until it is closed; the exit status. `raise`, when
// given, is set to what brings the window to the top while it is shown.
int Run_View(platform::arcobjects::MxApplication& app, std::function<void()>* raise = nullptr);
// A library's modal window as a dialog of its texts.
void Show_Window(const platform::ModalWindow& window);

} // namespace maphost
