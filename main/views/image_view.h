// The Qt view of the receiver screen window: its menus, the enlarged
// picture, the progress bar and loading label, drawn from frmImage's
// state; every menu choice and the close box go back to frmImage.
#pragma once

#include <memory>

class QWidget;

namespace app {

class frmMain;

// A view bound to the main window's frmImage, shown while it is loaded; it
// must go before the main window does.
std::unique_ptr<QWidget> make_image_view(frmMain& main);

} // namespace app
