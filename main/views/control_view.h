// Drawing one control of a window class (app::DialogControl) on the Qt
// widget that stands for it, for the views of such windows.
#pragma once

#include "main/app/form.h"

#include <map>
#include <string>

class QWidget;

namespace app {

constexpr int kTwipsPerPixel = 15;

// Place and size (from `top`, in twips, for controls placed below a tab
// bar), enabled and visible flags, tip, caption or title, check mark and
// text, bold face; a text is set only when it differs, so typing is not disturbed.
void draw_control(QWidget* w, const DialogControl& c, int top);
// The same at `zoom` times the design size.
void draw_control(QWidget* w, const DialogControl& c, int top, double zoom);

// The zoom at which every caption of `widgets`, drawn at `zoom` now, fits
// its control at the widgets' font (a wrapped label's lines its height, a
// tab widget's tabs its width): `zoom` when they all fit. A window
// drawn larger as a whole keeps its layout; the zoom is capped (a long text
// in a label is cut rather than the window grown without end).
double caption_zoom(const std::map<std::string, QWidget*>& widgets, double zoom);

} // namespace app
