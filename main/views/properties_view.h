// The Qt view of frmProperties: a modal QDialog with the seven tabs, each
// control of the dialog class drawn at its place (15 twips to a pixel) and
// the four field grids as table views over their grid models. User actions
// go to the class by control name; the class's changes come back through
// its on_changed. Showing the dialog waits until OK or Cancel hides it.
#pragma once

#include "main/views/view_guard.h"

#include <QDialog>

#include <cmath>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QTabWidget;

namespace app {

class frmProperties;

class PropertiesView : public QDialog {
public:
    explicit PropertiesView(frmProperties& dialog, QWidget* parent = nullptr);
    ~PropertiesView() override;

    // Builds the widgets afresh from the class (after a load) and draws it.
    void rebuild();
    // Draws what the class holds now.
    void sync();
    QWidget* widget(const std::string& name) const;
    QTabWidget* tabs() const { return tabs_; }

protected:
    void resizeEvent(QResizeEvent* e) override;
    void reject() override; // the close box: Cancel

private:
    // Its connections run their slots under the views' last guard.
    template <class S, class Signal, class... Rest>
    QMetaObject::Connection connect(const S* sender, Signal signal, Rest&&... rest)
    {
        return guarded_connect(this,
                               [this](const QObject* s, const std::string& event) {
                                   const std::string name = control_name(s);
                                   return "frmProperties" + (name.empty() ? std::string() : "." + name + "_" + event);
                               },
                               sender, signal, std::forward<Rest>(rest)...);
    }
    // The control a widget (or a part of it, such as a combo's text box) draws.
    std::string control_name(const QObject* widget) const;
    // Pixels for the dialog's twips and back, at its zoom.
    int px(int twips) const { return int(std::lround(twips * zoom_ / 15)); }
    int twips(int px) const { return int(std::lround(px * 15 / zoom_)); }
    struct Bound;
    frmProperties& dlg_;
    QTabWidget* tabs_ = nullptr;
    std::vector<QWidget*> pages_;
    std::map<std::string, std::unique_ptr<Bound>> bound_;
    bool applying_ = false;
    // Pixels of the dialog per design pixel (15 twips): grows so that every
    // caption fits at the desktop's font.
    double zoom_ = 1;
};

// Binds a view to the dialog: every modal show runs the view's event loop.
void bind_properties_view(frmProperties& dialog, QWidget* parent);

} // namespace app
