// The program's windows drawn with Qt: the main window's view, and the view
// of every other window bound to its window class. Like the composition of
// the subsystems, only this place knows them all.
#pragma once

#include <memory>

class QWidget;

namespace app {

class frmMain;
class MainWindowView;

class ProgramViews {
public:
    // Binds the views to `main`, whose subsystems are installed.
    explicit ProgramViews(frmMain& main);
    ~ProgramViews();
    ProgramViews(const ProgramViews&) = delete;
    ProgramViews& operator=(const ProgramViews&) = delete;

    MainWindowView& main_window() { return *main_window_; }

private:
    std::unique_ptr<MainWindowView> main_window_;
    // Goes first: it is bound to a window the main window's class owns.
    std::unique_ptr<QWidget> image_view_;
};

} // namespace app
