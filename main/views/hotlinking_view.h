// The Qt view of the hotlinking window: a modeless tool window owned by the
// main window with its menu bar, the drive and folder lists, the photo list
// over the window's grid, the preview and the match controls. User actions
// go to the window class by control name; its changes come back through
// on_changed, which also shows and hides the view.
#pragma once

#include "main/views/form_view.h"

#include <QEvent>

class QLabel;
class QMenuBar;
namespace hotlink { class frmHotlinking; }
namespace platform { class GridView; }

namespace app {

class frmMain;

class HotlinkingView : public FormView<hotlink::frmHotlinking> {
public:
    explicit HotlinkingView(hotlink::frmHotlinking& form, QWidget* owner = nullptr);
    // Draws what the class holds now; shows or hides the window with it.
    void sync();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void build();
    int menu_height() const;

    QMenuBar* menu_bar_ = nullptr;
    platform::GridView* table_ = nullptr;
    QLabel* preview_ = nullptr;
};

// Binds views to the hotlinking window of `main` and its match properties
// dialog for the life of the views (nothing when no such window is
// registered).
void bind_hotlinking_view(frmMain& main, QWidget* owner);

} // namespace app
