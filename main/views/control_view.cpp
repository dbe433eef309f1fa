#include "main/views/control_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace app {

void draw_control(QWidget* w, const DialogControl& c, int top)
{
    auto q = [](const std::string& s) { return QString::fromStdString(s); };
    w->setGeometry(c.left / kTwipsPerPixel, std::max(0, top) / kTwipsPerPixel, c.width / kTwipsPerPixel,
                   c.height / kTwipsPerPixel);
    w->setEnabled(c.enabled);
    w->setVisible(c.visible);
    w->setToolTip(q(c.tooltip));
    if (w->font().bold() != c.bold) {
        QFont f = w->font();
        f.setBold(c.bold);
        w->setFont(f);
    }
    if (auto* x = qobject_cast<QPushButton*>(w)) x->setText(q(c.caption));
    if (auto* x = qobject_cast<QRadioButton*>(w)) x->setText(q(c.caption)), x->setChecked(c.value);
    if (auto* x = qobject_cast<QCheckBox*>(w)) x->setText(q(c.caption)), x->setChecked(c.value);
    if (auto* x = qobject_cast<QLabel*>(w)) x->setText(q(c.caption));
    if (auto* x = qobject_cast<QGroupBox*>(w)) x->setTitle(q(c.caption));
    if (auto* x = qobject_cast<QLineEdit*>(w); x && x->text().toStdString() != c.text) x->setText(q(c.text));
    if (auto* x = qobject_cast<QPlainTextEdit*>(w); x && x->toPlainText().toStdString() != c.text)
        x->setPlainText(q(c.text));
}

} // namespace app
