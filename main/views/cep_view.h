// The Qt view of the CEP calculator: a modeless tool window owned by the
// main window, each control of the window class drawn at its place (15
// twips to a pixel). User actions go to the class by control name; its
// changes come back through on_changed, which also shows and hides the view.
#pragma once

#include "main/views/form_view.h"

#include <QWidget>

#include <map>
#include <string>

namespace coords { class frmCalculateCEP; }

namespace app {

class CalculateCepView : public FormView<coords::frmCalculateCEP> {
public:
    explicit CalculateCepView(coords::frmCalculateCEP& form, QWidget* owner = nullptr);
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
};

// Binds a view to the calculator for the life of the view.
void bind_cep_view(coords::frmCalculateCEP& form, QWidget* owner);

} // namespace app
