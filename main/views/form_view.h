// What the Qt views of the tool windows share: a modeless tool window over a
// window class driven by control name, its controls drawn at their places
// (15 twips to a pixel). The close box goes to the class's Close; the
// class's changes come back through on_changed.
#pragma once

#include "main/views/control_view.h"
#include "main/views/view_guard.h"

#include "main/app/form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QObject>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QWidget>

#include <cmath>
#include <functional>
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

    // Pixels for the window's twips and back, at its zoom (rounded, so a
    // size taken back gives the same pixels again).
    int px(int twips) const { return int(std::lround(twips * zoom_ / kTwipsPerPixel)); }
    int twips(int px) const { return int(std::lround(px * kTwipsPerPixel / zoom_)); }
    // Once the controls are drawn: when a caption does not fit its control
    // at the font, the whole window is to be drawn larger (true: draw again).
    // `value` names the labels that show values rather than captions: they
    // never draw the window larger.
    bool refit(const std::function<bool(const std::string&)>& value = {})
    {
        std::map<std::string, QWidget*> captions;
        if (value)
            for (const auto& [name, w] : widgets_)
                if (!value(name)) captions.emplace(name, w);
        const double z = caption_zoom(value ? captions : widgets_, zoom_);
        if (z <= zoom_) return false;
        zoom_ = z;
        return true;
    }

    // The view's connections: as QObject::connect, each slot run under the
    // last guard, titled with the window, the control and the event
    // ("frmRealTime.cmdLoad_Click").
    template <class S, class Signal, class... Rest>
    QMetaObject::Connection connect(const S* sender, Signal signal, Rest&&... rest)
    {
        return guarded_connect(this,
                               [this](const QObject* s, const std::string& event) {
                                   const std::string control = control_name(s);
                                   return form_.Name() + (control.empty() ? "" : "." + control + "_" + event);
                               },
                               sender, signal, std::forward<Rest>(rest)...);
    }
    // A handler of the view's own events under the same guard.
    void guarded(const std::string& procedure, const std::function<void()>& handler)
    {
        run_view_handler(this, form_.Name() + "." + procedure, handler);
    }
    std::string control_name(const QObject* widget) const
    {
        for (const auto& [name, w] : widgets_)
            if (w == widget) return name;
        return widget ? widget->objectName().toStdString() : std::string();
    }

    // For a window class that lays itself out: the user's size and window
    // state go to it (call from resizeEvent).
    void resized(QResizeEvent* e)
    {
        if (applying_ || !form_.Visible()) return;
        form_.Width = twips(e->size().width());
        form_.Height = twips(e->size().height());
        form_.WindowState = isMinimized() ? 1 : isMaximized() ? 2 : 0;
        guarded("Form_Resize", [this] { form_.Form_Resize(); });
    }
    // A button, option or check box that hands its click or tick to the
    // class by name; nullptr for other kinds.
    QWidget* clickable(const DialogControl& c)
    {
        using K = DialogControl::Kind;
        const std::string name = c.name;
        switch (c.kind) {
        case K::Button: {
            auto* b = new QPushButton(this);
            connect(b, &QPushButton::clicked, this, [this, name] { form_.Click(name); });
            return b;
        }
        case K::Option: {
            auto* b = new QRadioButton(this);
            b->setAutoExclusive(false);
            connect(b, &QRadioButton::clicked, this, [this, name] { form_.Click(name); });
            return b;
        }
        case K::Check: {
            auto* b = new QCheckBox(this);
            connect(b, &QCheckBox::toggled, this, [this, name](bool on) {
                if (!applying_) form_.SetValue(name, on);
            });
            return b;
        }
        default: return nullptr;
        }
    }
    void closeEvent(QCloseEvent* e) override
    {
        if (form_.Visible()) guarded("Form_Unload", [this] { form_.Close(); });
        e->accept();
    }

    F& form_;
    std::map<std::string, QWidget*> widgets_;
    bool applying_ = false;
    // Pixels of the window per design pixel (15 twips): grows so that every
    // caption fits at the desktop's font.
    double zoom_ = 1;
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
