// The Qt view of the NMEA viewer: a modeless tool window owned by the main
// window, the filter boxes inside their two frames, the text box fed line
// by line (only what was added is drawn, never the whole text again).
// User actions go to the window class by control name; its changes come
// back through on_changed, which also shows and hides the view.
#pragma once

#include <QWidget>

#include <cstddef>
#include <map>
#include <string>

class QPlainTextEdit;
namespace realtime { class frmNMEAViewer; }

namespace app {

class NMEAViewerView : public QWidget {
public:
    explicit NMEAViewerView(realtime::frmNMEAViewer& form, QWidget* owner = nullptr);
    // Draws what the class holds now; shows or hides the window with it.
    void sync();
    QWidget* widget(const std::string& name) const;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override; // the close box: Close

private:
    void build();
    void sync_text();
    realtime::frmNMEAViewer& form_;
    std::map<std::string, QWidget*> widgets_;
    QPlainTextEdit* text_ = nullptr;
    std::size_t shown_revision_ = 0, shown_size_ = 0;
    bool applying_ = false;
};

// Binds a view to the viewer window for the life of the view.
void bind_nmea_viewer_view(realtime::frmNMEAViewer& form, QWidget* owner);

} // namespace app
