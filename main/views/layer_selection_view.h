// The Qt view of LandView's layer chooser: a modal window drawn from the
// chooser's controls, handing the list's clicks, OK, Cancel and the close
// box back to it.
#pragma once

#include "main/views/form_view.h"

namespace links { class frmLandviewLayerSelection; }

namespace app {

class frmMain;

class LayerSelectionView : public FormView<links::frmLandviewLayerSelection> {
public:
    LayerSelectionView(links::frmLandviewLayerSelection& form, QWidget* owner);
    // Draws what the chooser holds now; shows or hides the window with it.
    void sync();

private:
    void build();
};

// Binds a view to the main window's chooser and makes its modal show wait
// for the user's answer; in quiet mode the chooser is logged and cancelled.
void bind_layer_selection_view(frmMain& main, QWidget* owner);

} // namespace app
