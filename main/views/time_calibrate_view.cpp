#include "main/views/time_calibrate_view.h"

#include "main/hotlink/frm_time_calibrate.h"
#include "main/views/control_view.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace app {

namespace {
// The dialog's size in twips.
constexpr int kWidth = 4935, kHeight = 4350;
} // namespace

TimeCalibrateView::TimeCalibrateView(hotlink::frmTimeCalibrate& form, QWidget* owner) : FormView(form, owner)
{
    sync();
}

void TimeCalibrateView::build()
{
    using K = DialogControl::Kind;
    // Frames first, so the controls inside are drawn above them.
    for (const DialogControl& c : form_.controls())
        if (c.kind == K::Frame) widgets_[c.name] = new QGroupBox(this);
    for (const DialogControl& c : form_.controls()) {
        const std::string name = c.name;
        if (c.kind == K::Frame) continue;
        if (QWidget* b = clickable(c)) {
            widgets_[name] = b;
            continue;
        }
        if (c.kind == K::Text) {
            auto* t = new QLineEdit(this);
            connect(t, &QLineEdit::textEdited, this, [this, name](const QString& s) { form_.SetText(name, s.toStdString()); });
            widgets_[name] = t;
        } else {
            widgets_[name] = new QLabel(this);
        }
    }
}

void TimeCalibrateView::sync()
{
    applying_ = true;
    if (widgets_.empty() && form_.Loaded()) build();
    setWindowTitle(QString::fromStdString(form_.Caption()));
    for (const DialogControl& c : form_.controls())
        if (QWidget* w = widget(c.name)) draw_control(w, c, c.top, zoom_);
    if (form_.Visible()) setFixedSize(px(kWidth), px(kHeight));
    if (form_.Visible() != isVisible()) setVisible(form_.Visible());
    applying_ = false;
    if (refit()) sync();
}

void bind_time_calibrate_view(hotlink::frmTimeCalibrate& form, QWidget* owner)
{
    bind_form_view<TimeCalibrateView>(form, owner);
}

} // namespace app
