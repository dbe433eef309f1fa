// The Qt face of the receiver chooser: a small window, not modal, drawn
// from the form's controls and handing clicks, the list choice and the
// close box back to it.
#pragma once

class QWidget;

namespace app {

class Form;
// Binds a view to `chooser` (a child window of `parent`, shown while the
// form is visible). The form's on_changed is the view's until the parent goes.
void Bind_GPSStatus_View(Form& chooser, QWidget* parent);

} // namespace app
