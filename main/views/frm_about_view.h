// The Qt face of the About box.
#pragma once

class QWidget;

namespace app {

class frmAbout;
// Shows the box modally over parent; returns when it is closed.
void Show_About_Modal(frmAbout& about, QWidget* parent);

} // namespace app
