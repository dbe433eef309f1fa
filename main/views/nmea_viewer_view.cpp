#include "main/views/nmea_viewer_view.h"

#include "main/realtime/nmea_viewer.h"
#include "main/views/control_view.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextCursor>

namespace app {

namespace {

// The window class keeps CR LF between lines; the text box shows "\n".
QString shown(const std::string& s)
{
    QString q = QString::fromStdString(s);
    q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return q;
}

std::string kept(const QString& q)
{
    QString s = q;
    s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return s.toStdString();
}

// The Shift state of a mouse press as the window class counts it.
int shift_state(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) + (m & Qt::ControlModifier ? 2 : 0) + (m & Qt::AltModifier ? 4 : 0);
}

// A filter box that tells the window of the mouse press before its click.
class FilterBox : public QCheckBox {
public:
    FilterBox(QWidget* parent, realtime::frmNMEAViewer& form, std::string name)
        : QCheckBox(parent), form_(form), name_(std::move(name))
    {
    }

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton) form_.MouseDown(name_, shift_state(e->modifiers()));
        QCheckBox::mousePressEvent(e);
    }

private:
    realtime::frmNMEAViewer& form_;
    std::string name_;
};

} // namespace

NMEAViewerView::NMEAViewerView(realtime::frmNMEAViewer& form, QWidget* owner) : FormView(form, owner)
{
    sync();
}

void NMEAViewerView::build()
{
    using K = DialogControl::Kind;
    for (const DialogControl& c : form_.controls())
        if (c.kind == K::Frame) widgets_[c.name] = new QGroupBox(this);
    for (const DialogControl& c : form_.controls()) {
        const std::string name = c.name;
        QWidget* parent = c.frame.empty() ? this : widgets_.at(c.frame);
        if (c.kind == K::Check) {
            auto* b = new FilterBox(parent, form_, name);
            connect(b, &QCheckBox::clicked, this, [this, name] {
                if (!applying_) form_.Click(name);
            });
            widgets_[name] = b;
        } else if (c.kind == K::Button) {
            auto* b = new QPushButton(parent);
            connect(b, &QPushButton::clicked, this, [this, name] { form_.Click(name); });
            widgets_[name] = b;
        } else if (c.kind == K::Text) {
            text_ = new QPlainTextEdit(parent);
            text_->setLineWrapMode(QPlainTextEdit::NoWrap);
            connect(text_, &QPlainTextEdit::textChanged, this, [this] {
                if (applying_) return;
                form_.SetText("tbxNMEAStrings", kept(text_->toPlainText()));
                shown_revision_ = form_.revision;
                shown_size_ = form_.Text().size();
            });
            connect(text_, &QPlainTextEdit::cursorPositionChanged, this, [this] {
                if (applying_) return;
                const QString before = text_->toPlainText().left(text_->textCursor().position());
                form_.SetSelStart(kept(before).size());
            });
            widgets_[name] = text_;
        }
    }
}

void NMEAViewerView::sync_text()
{
    if (!text_ || form_.revision == shown_revision_) return;
    const std::string& text = form_.Text();
    if (form_.revision == shown_revision_ + 1 && form_.inserted_size > 0 && form_.inserted_at == shown_size_ &&
        shown_size_ + form_.inserted_size == text.size()) {
        // One piece added at the end: only it is drawn.
        QTextCursor end(text_->document());
        end.movePosition(QTextCursor::End);
        end.insertText(shown(text.substr(form_.inserted_at)));
    } else {
        text_->setPlainText(shown(text));
    }
    shown_revision_ = form_.revision;
    shown_size_ = text.size();
}

void NMEAViewerView::sync()
{
    applying_ = true;
    if (widgets_.empty() && !form_.controls().empty()) build();
    setWindowTitle(QString::fromStdString(form_.Caption()));
    if (form_.Visible()) resize(px(form_.Width), px(form_.Height));
    for (const DialogControl& c : form_.controls()) {
        QWidget* w = widget(c.name);
        if (!w) continue;
        if (w == text_) {
            // Drawn apart: the whole text is never compared or copied here.
            w->setGeometry(px(c.left), px(c.top), px(c.width), px(c.height));
            w->setToolTip(QString::fromStdString(c.tooltip));
            w->setEnabled(c.enabled);
        } else {
            draw_control(w, c, c.top, zoom_);
        }
    }
    sync_text();
    if (form_.Visible() != isVisible()) setVisible(form_.Visible());
    applying_ = false;
    if (refit()) sync();
}

void bind_nmea_viewer_view(realtime::frmNMEAViewer& form, QWidget* owner) { bind_form_view<NMEAViewerView>(form, owner); }

} // namespace app
