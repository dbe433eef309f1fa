#include "main/views/realtime_view.h"

#include "main/realtime/frm_realtime.h"
#include "main/views/control_view.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <string>

namespace app {

namespace {

// The picture of a picture button: the style's media pictures for start,
// pause and stop, a dot for a single point.
QIcon picture_icon(const QStyle* style, const std::string& picture)
{
    if (picture == "start") return style->standardIcon(QStyle::SP_MediaPlay);
    if (picture == "pause") return style->standardIcon(QStyle::SP_MediaPause);
    if (picture == "stop") return style->standardIcon(QStyle::SP_MediaStop);
    if (picture != "point") return {};
    QPixmap dot(16, 16);
    dot.fill(Qt::transparent);
    QPainter p(&dot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawEllipse(QRectF(4, 4, 8, 8));
    return QIcon(dot);
}

// The labels that show values rather than captions: the output files'
// paths and record counts, the projected position.
bool shows_value(const std::string& name)
{
    for (const char* prefix : {"lblPath(", "lblCount(", "lblProjX", "lblProjY"})
        if (name.rfind(prefix, 0) == 0) return name.find("Caption") == std::string::npos;
    return false;
}

} // namespace

RealTimeView::RealTimeView(realtime::frmRealTime& form, QWidget* owner) : FormView(form, owner)
{
    setFocusPolicy(Qt::StrongFocus);
    sync();
}

void RealTimeView::build()
{
    using K = DialogControl::Kind;
    // Frames first, so the controls inside are drawn above them.
    for (const DialogControl& c : form_.controls())
        if (c.kind == K::Frame) widgets_[c.name] = new QGroupBox(this);
    for (const DialogControl& c : form_.controls()) {
        const std::string name = c.name;
        if (QWidget* b = clickable(c)) {
            if (auto* button = qobject_cast<QPushButton*>(b); button && !c.picture.empty()) {
                button->setIcon(picture_icon(style(), c.picture));
                button->setIconSize(QSize(16, 16));
            }
            widgets_[name] = b;
            continue;
        }
        QWidget* w = nullptr;
        switch (c.kind) {
        case K::Frame:
            continue;
        case K::Text: {
            auto* t = new QLineEdit(this);
            connect(t, &QLineEdit::textEdited, this, [this, name](const QString& s) { form_.SetText(name, s.toStdString()); });
            connect(t, &QLineEdit::editingFinished, this, [this, name] {
                if (!applying_) form_.LostFocus(name);
            });
            w = t;
            break;
        }
        default:
            w = new QLabel(this);
        }
        widgets_[name] = w;
    }
}

void RealTimeView::sync()
{
    applying_ = true;
    if (widgets_.empty() && form_.Loaded()) build();
    setWindowTitle(QString::fromStdString(form_.Caption()));
    for (const DialogControl& c : form_.controls()) {
        QWidget* w = widget(c.name);
        if (!w) continue;
        draw_control(w, c, c.top, zoom_);
        // The controls drawn in a frame the window turned off go off with it.
        if (!c.frame.empty() && !form_.control(c.frame).enabled) w->setEnabled(false);
        if (auto* g = dynamic_cast<QGroupBox*>(w)) g->setTitle(QString::fromStdString(c.caption));
        // A path too long for its label loses its start: the file name stays.
        if (auto* l = qobject_cast<QLabel*>(w); l && c.name.rfind("lblPath(", 0) == 0)
            l->setText(l->fontMetrics().elidedText(l->text(), Qt::ElideLeft, l->contentsRect().width()));
    }
    for (int i = 0; i < 4; ++i)
        if (QWidget* b = widget("cmdControls(" + std::to_string(i) + ")"))
            b->setStyleSheet(form_.ButtonColor(i) == realtime::frmRealTime::kHighlight
                                 ? "background-color: palette(highlight); color: palette(highlighted-text);"
                                 : QString());
    if (form_.Visible()) resize(px(6200), px(4800));
    if (form_.Visible() != isVisible()) {
        setVisible(form_.Visible());
        if (form_.Visible() && form_.WindowState == 1) showMinimized();
    }
    applying_ = false;
    // Only the window's own captions draw it larger, never a value it shows.
    if (refit(shows_value)) sync();
}

void RealTimeView::keyPressEvent(QKeyEvent* e)
{
    int shift = 0;
    if (e->modifiers() & Qt::ShiftModifier) shift |= 1;
    if (e->modifiers() & Qt::ControlModifier) shift |= 2;
    if (e->modifiers() & Qt::AltModifier) shift |= 4;
    // Letter keys carry their capital's code, as the window's key codes do.
    if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z) guarded("Form_KeyDown", [&] { form_.KeyDown(e->key(), shift); });
    QWidget::keyPressEvent(e);
}

void bind_realtime_view(realtime::frmRealTime& form, QWidget* owner) { bind_form_view<RealTimeView>(form, owner); }

} // namespace app
