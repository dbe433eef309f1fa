// What the Qt views of the tool windows share: a modeless tool window over a
// window class driven by control name, its controls drawn at their places
// (15 twips to a pixel). The user's resizing goes to the class as its size
// and window state; the close box goes to the class's Close; the class's
// changes come back through on_changed.
#pragma once

#include "main/views/control_view.h"

#include <QCloseEvent>
#include <QObject>
#include <QResizeEvent>
#include <QWidget>

#include <map>
#include <string>

namespace app {

template <class F>
class FormView : public QWidget {
public:
    QWidget* widget(const std::string& name) const
    {
        auto it = widgets_.find(name);
        return it == widgets_.end() ? nullptr : it->second;
    }

protected:
    FormView(F& form, QWidget* owner) : QWidget(owner, Qt::Tool), form_(form) {}

    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        if (applying_ || !form_.Visible()) return;
        form_.Width = e->size().width() * kTwipsPerPixel;
        form_.Height = e->size().height() * kTwipsPerPixel;
        form_.WindowState = isMinimized() ? 1 : isMaximized() ? 2 : 0;
        form_.Form_Resize();
    }
    void closeEvent(QCloseEvent* e) override
    {
        if (form_.Visible()) form_.Close();
        e->accept();
    }

    F& form_;
    std::map<std::string, QWidget*> widgets_;
    bool applying_ = false;
};

// Binds a new view to its window class for the life of the view (the class
// may outlive it: the main window's view goes first).
template <class View, class F>
void bind_form_view(F& form, QWidget* owner)
{
    auto* view = new View(form, owner);
    form.on_changed = [view] { view->sync(); };
    QObject::connect(view, &QObject::destroyed, [&form] { form.on_changed = nullptr; });
}

} // namespace app
