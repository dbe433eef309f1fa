#include "main/views/cep_view.h"

#include "main/views/control_view.h"
#include "main/coords/cep.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>

namespace app {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
} // namespace

CalculateCepView::CalculateCepView(coords::frmCalculateCEP& form, QWidget* owner)
    : FormView(form, owner)
{
    sync();
}

void CalculateCepView::build()
{
    using K = DialogControl::Kind;
    for (const DialogControl& c : form_.controls()) {
        const std::string name = c.name;
        if (QWidget* b = clickable(c)) {
            widgets_[name] = b;
            continue;
        }
        QWidget* w = nullptr;
        switch (c.kind) {
        case K::Text:
            if (name == "tbxResults") {
                auto* t = new QPlainTextEdit(this);
                t->setReadOnly(true);
                t->setLineWrapMode(QPlainTextEdit::NoWrap);
                t->setFont(QFont(coords::frmCalculateCEP::kResultsFont));
                w = t;
            } else {
                auto* t = new QLineEdit(this);
                connect(t, &QLineEdit::textEdited, this,
                        [this, name](const QString& s) { form_.SetText(name, s.toStdString()); });
                w = t;
            }
            break;
        default: {
            auto* l = new QLabel(this);
            l->setWordWrap(true);
            if (name == "lblTitle") l->setFont(QFont(coords::frmCalculateCEP::kTitleFont));
            w = l;
        }
        }
        widgets_[name] = w;
    }
}

void CalculateCepView::sync()
{
    applying_ = true;
    // The controls exist once the window has been loaded.
    if (widgets_.empty()) build();
    setWindowTitle(q(form_.Caption()));
    if (form_.Visible()) resize(px(form_.Width), px(form_.Height));
    for (const DialogControl& c : form_.controls()) {
        QWidget* w = widget(c.name);
        if (!w) continue;
        draw_control(w, c, c.top, zoom_);
    }
    if (form_.Visible() != isVisible()) setVisible(form_.Visible());
    applying_ = false;
    if (refit()) sync();
}

void bind_cep_view(coords::frmCalculateCEP& form, QWidget* owner) { bind_form_view<CalculateCepView>(form, owner); }

} // namespace app
