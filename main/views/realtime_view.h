// The Qt view of the real-time window: a modeless tool window owned by the
// main window, each control of the window class drawn at its place (15
// twips to a pixel), frames as group boxes, the command buttons with their
// pictures, the selected output type in bold, the active command button in the
// highlight colour. Clicks, ticks, typing, leaving the pan box and keys go
// to the class; its changes come back through on_changed.
#pragma once

#include "main/views/form_view.h"

#include <QWidget>

#include <map>
#include <string>

namespace realtime { class frmRealTime; }

namespace app {

class RealTimeView : public FormView<realtime::frmRealTime> {
public:
    explicit RealTimeView(realtime::frmRealTime& form, QWidget* owner = nullptr);
    // Draws what the class holds now; shows or hides the window with it.
    void sync();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void build();
};

// Binds a view to the real-time window for the life of the view.
void bind_realtime_view(realtime::frmRealTime& form, QWidget* owner);

} // namespace app
