// The Qt view of the NMEA viewer: a modeless tool window owned by the main
// window, the filter boxes inside their two frames, the text box fed line
// by line (only what was added is drawn, never the whole text again).
// User actions go to the window class by control name; its changes come
// back through on_changed, which also shows and hides the view.
#pragma once

#include "main/views/form_view.h"

#include <QWidget>

#include <cstddef>
#include <map>
#include <string>

class QPlainTextEdit;
namespace realtime { class frmNMEAViewer; }

namespace app {

class NMEAViewerView : public FormView<realtime::frmNMEAViewer> {
public:
    explicit NMEAViewerView(realtime::frmNMEAViewer& form, QWidget* owner = nullptr);
    // Draws what the class holds now; shows or hides the window with it.
    void sync();

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        resized(e);
    }

private:
    void build();
    void sync_text();
    QPlainTextEdit* text_ = nullptr;
    std::size_t shown_revision_ = 0, shown_size_ = 0;
};

// Binds a view to the viewer window for the life of the view.
void bind_nmea_viewer_view(realtime::frmNMEAViewer& form, QWidget* owner);

} // namespace app
