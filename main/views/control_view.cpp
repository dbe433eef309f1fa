#include "main/views/control_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <cmath>

namespace app {

namespace {

constexpr double kMostZoom = 2.0;

// The text a caption shows: "&" marks the access key ("&&" is one "&").
QString shown_text(const QString& caption)
{
    QString out;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

// What a control's caption needs beside its text: the frame and padding of
// a button, the mark of an option or check box, a label's margins (pixels;
// -1 for a control without a caption).
int caption_chrome(QWidget* w, QString& text)
{
    QStyle* s = w->style();
    auto inside = [&](QStyle::SubElement e, const QString& caption) {
        QStyleOptionButton o;
        o.initFrom(w);
        o.text = caption;
        return w->width() - s->subElementRect(e, &o, w).width();
    };
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        text = shown_text(b->text());
        // A little air on either side, as a button's caption has.
        return inside(QStyle::SE_PushButtonContents, b->text()) + (b->icon().isNull() ? 0 : b->iconSize().width() + 4) +
               b->fontMetrics().averageCharWidth();
    }
    if (auto* b = qobject_cast<QCheckBox*>(w)) return text = shown_text(b->text()), inside(QStyle::SE_CheckBoxContents, b->text());
    if (auto* b = qobject_cast<QRadioButton*>(w))
        return text = shown_text(b->text()), inside(QStyle::SE_RadioButtonContents, b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->wordWrap() || l->textFormat() == Qt::RichText || !l->pixmap().isNull()) return -1;
        text = l->text();
        return w->width() - l->contentsRect().width() + 2 * l->margin() + std::max(l->indent(), 0);
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        text = shown_text(g->title());
        QStyleOptionGroupBox o;
        o.initFrom(g);
        o.text = g->title();
        o.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = s->subControlRect(QStyle::CC_GroupBox, &o, QStyle::SC_GroupBoxLabel, g);
        return 2 * std::max(label.left(), 0) + 1;
    }
    return -1;
}

} // namespace

double caption_zoom(const std::map<std::string, QWidget*>& widgets, double zoom)
{
    double need = zoom;
    for (const auto& [name, w] : widgets) {
        if (w->isHidden() || w->width() <= 0) continue;
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            // Every tab's caption shows in the bar, none scrolled away.
            const int width = tabs->tabBar()->sizeHint().width();
            if (width > w->width()) need = std::max(need, zoom * (width + 1) / w->width());
            continue;
        }
        auto* label = qobject_cast<QLabel*>(w);
        if (label && label->wordWrap() && label->textFormat() != Qt::RichText && !label->text().isEmpty()) {
            // A wrapped text: the zoom at which all its lines fit the
            // label's height (a pixel to spare for the rounding).
            if (label->heightForWidth(w->width()) <= w->height()) continue;
            double f = 1;
            while (zoom * f < kMostZoom && label->heightForWidth(int(w->width() * f) - 1) > int(w->height() * f) - 1)
                f += 0.02;
            need = std::max(need, zoom * f);
            continue;
        }
        QString text;
        const int chrome = caption_chrome(w, text);
        if (chrome < 0 || text.isEmpty()) continue;
        int width = 0; // the widest line
        for (const QString& line : text.split('\n')) width = std::max(width, w->fontMetrics().horizontalAdvance(line));
        width += chrome;
        // The control's design width in pixels, and the zoom that makes it
        // `width` wide (a pixel more for the rounding of positions).
        if (width > w->width()) need = std::max(need, zoom * (width + 1) / w->width());
    }
    return std::min(need, std::max(zoom, kMostZoom));
}

void draw_control(QWidget* w, const DialogControl& c, int top) { draw_control(w, c, top, 1); }

void draw_control(QWidget* w, const DialogControl& c, int top, double zoom)
{
    auto q = [](const std::string& s) { return QString::fromStdString(s); };
    auto px = [zoom](int twips) { return int(twips * zoom) / kTwipsPerPixel; };
    w->setGeometry(px(c.left), px(std::max(0, top)), px(c.width), px(c.height));
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
