// The Qt view of the match properties dialog: a modeless tool window, its
// frames as group boxes and each control at its place (15 twips to a
// pixel). Typing and clicks go to the dialog by control name; its changes
// come back through on_changed, which also shows and hides the view.
#pragma once

#include "main/views/form_view.h"

#include <QWidget>

namespace hotlink { class frmTimeCalibrate; }

namespace app {

class TimeCalibrateView : public FormView<hotlink::frmTimeCalibrate> {
public:
    explicit TimeCalibrateView(hotlink::frmTimeCalibrate& form, QWidget* owner = nullptr);
    // Draws what the dialog holds now; shows or hides the window with it.
    void sync();

private:
    void build();
};

// Binds a view to the dialog for the life of the view.
void bind_time_calibrate_view(hotlink::frmTimeCalibrate& form, QWidget* owner);

} // namespace app
