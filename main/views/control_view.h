// Drawing one control of a window class (app::DialogControl) on the Qt
// widget that stands for it, for the views of such windows.
#pragma once

#include "main/app/form.h"

class QWidget;

namespace app {

constexpr int kTwipsPerPixel = 15;

// Place and size (from `top`, in twips, for controls placed below a tab
// bar), enabled and visible flags, tip, caption or title, check mark and
// text, bold face; a text is set only when it differs, so typing is not disturbed.
void draw_control(QWidget* w, const DialogControl& c, int top);

} // namespace app
