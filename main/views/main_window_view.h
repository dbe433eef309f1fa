// The Qt view of frmMain: a QMainWindow that draws the window's state
// (caption, menus, buttons, option buttons, labels, status bar panels, the
// records grid, geometry in twips at 15 to a pixel) and hands every user
// action to frmMain's handlers. frmMain reports its changes back through
// on_changed; the view keeps no state of its own beyond widgets.
#pragma once

#include "main/views/view_guard.h"
#include "platform/grid/grid_view.h"

#include <QMainWindow>

#include <map>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;

namespace app {

class frmMain;
struct Control;
struct MenuItem;

class MainWindowView : public QMainWindow {
public:
    explicit MainWindowView(frmMain& main, QWidget* parent = nullptr);
    ~MainWindowView() override;

    // Redraws what `change` (a set of app::Change bits) says changed.
    void refresh(unsigned change);
    // The window as an image with its caption drawn above it (there may be
    // no window manager to draw a title bar).
    QImage snapshot();

    QAction* action(const std::string& name, int index = -1) const;
    QPushButton* button(const std::string& name) const;
    QRadioButton* option(const std::string& name) const;
    platform::GridView* grid_view() const { return grid_view_; }
    QLabel* status_panel(int i) const { return panels_[i]; }
    QWidget* quiet_status_window() const { return quiet_window_; }
    QWidget* splash_window() const { return splash_window_; }

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // The window turned to becomes the active one.
    void changeEvent(QEvent* e) override;

private:
    // Its connections run their slots under the views' last guard.
    template <class S, class Signal, class... Rest>
    QMetaObject::Connection connect(const S* sender, Signal signal, Rest&&... rest)
    {
        return guarded_connect(this,
                               [](const QObject* s, const std::string& event) {
                                   const std::string name = s ? s->objectName().toStdString() : std::string();
                                   return "frmMain" + (name.empty() ? std::string() : "." + name + "_" + event);
                               },
                               sender, signal, std::forward<Rest>(rest)...);
    }
    void build_menus(QMenu* into, std::vector<MenuItem>& items);
    void sync_menus();
    void sync_controls();
    void sync_geometry();
    // The view's current cell and selection become the grid's.
    void take_selection(const platform::GridView::Cell& c);
    void place(QWidget* w, const Control& c);
    int menu_height() const;

    frmMain& main_;
    std::map<const MenuItem*, QAction*> actions_;
    std::map<std::string, QPushButton*> buttons_;
    std::map<std::string, QRadioButton*> options_;
    std::map<const Control*, QLabel*> labels_;
    platform::GridView* grid_view_ = nullptr;
    QLabel* panels_[3] = {};
    QWidget* quiet_window_ = nullptr;
    QLabel* quiet_label_ = nullptr;
    QWidget* splash_window_ = nullptr;
    QLabel* splash_version_ = nullptr;
    bool applying_ = false;
};

} // namespace app
