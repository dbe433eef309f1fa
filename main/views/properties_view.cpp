#include "main/views/properties_view.h"

#include "main/views/control_view.h"
#include "main/settings/frm_properties.h"
#include "platform/grid/grid_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QTabWidget>

namespace app {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
} // namespace

struct PropertiesView::Bound {
    QWidget* widget = nullptr;
    std::vector<std::string> items; // what a list or combo shows
};

PropertiesView::PropertiesView(frmProperties& dialog, QWidget* parent) : QDialog(parent), dlg_(dialog)
{
    setModal(true);
}

PropertiesView::~PropertiesView() = default;

QWidget* PropertiesView::widget(const std::string& name) const
{
    auto it = bound_.find(name);
    return it == bound_.end() ? nullptr : it->second->widget;
}

std::string PropertiesView::control_name(const QObject* widget) const
{
    for (const QObject* o = widget; o && o != this; o = o->parent())
        for (const auto& [name, b] : bound_)
            if (b->widget == o) return name;
    return widget == tabs_ ? std::string("SSTProperties") : std::string();
}

void PropertiesView::rebuild()
{
    applying_ = true;
    bound_.clear();
    delete tabs_;
    for (QObject* child : children())
        if (child->isWidgetType()) delete child;
    pages_.clear();
    tabs_ = new QTabWidget(this);
    for (const char* caption : frmProperties::kTabs) {
        pages_.push_back(new QWidget);
        tabs_->addTab(pages_.back(), caption);
    }
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int i) {
        if (!applying_) dlg_.SSTProperties_Click(i);
    });
    using K = DialogControl::Kind;
    for (const DialogControl& c : dlg_.controls()) {
        QWidget* parent = c.tab >= 0 ? pages_[std::size_t(c.tab)] : static_cast<QWidget*>(this);
        const std::string name = c.name;
        auto b = std::make_unique<Bound>();
        switch (c.kind) {
        case K::Button: {
            auto* w = new QPushButton(parent);
            connect(w, &QPushButton::clicked, this, [this, name] { dlg_.Click(name); });
            b->widget = w;
            break;
        }
        case K::Option: {
            auto* w = new QRadioButton(parent);
            w->setAutoExclusive(false);
            connect(w, &QRadioButton::clicked, this, [this, name] { dlg_.Click(name); });
            b->widget = w;
            break;
        }
        case K::Check: {
            auto* w = new QCheckBox(parent);
            connect(w, &QCheckBox::toggled, this, [this, name](bool on) {
                if (!applying_) dlg_.SetValue(name, on);
            });
            b->widget = w;
            break;
        }
        case K::Label: {
            auto* w = new QLabel(parent);
            w->setWordWrap(true);
            b->widget = w;
            break;
        }
        case K::Frame: b->widget = new QGroupBox(parent); break;
        case K::Text:
            if (name == "tbxPRJ") {
                auto* w = new QPlainTextEdit(parent);
                connect(w, &QPlainTextEdit::textChanged, this, [this, w, name] {
                    if (!applying_) dlg_.SetText(name, w->toPlainText().toStdString());
                });
                b->widget = w;
            } else {
                auto* w = new QLineEdit(parent);
                connect(w, &QLineEdit::textEdited, this,
                        [this, name](const QString& t) { dlg_.SetText(name, t.toStdString()); });
                b->widget = w;
            }
            break;
        case K::Combo: {
            auto* w = new QComboBox(parent);
            w->setEditable(true);
            w->setInsertPolicy(QComboBox::NoInsert);
            connect(w, &QComboBox::activated, this,
                    [this, w, name](int i) { dlg_.Choose(name, w->itemText(i).toStdString()); });
            connect(w->lineEdit(), &QLineEdit::textEdited, this,
                    [this, name](const QString& t) { dlg_.SetText(name, t.toStdString()); });
            connect(w->lineEdit(), &QLineEdit::returnPressed, this, [this, name] { dlg_.KeyPress(name, 13); });
            b->widget = w;
            break;
        }
        case K::List: {
            auto* w = new QListWidget(parent);
            connect(w, &QListWidget::currentTextChanged, this, [this, name](const QString& t) {
                if (!applying_ && !t.isNull()) dlg_.Choose(name, t.toStdString());
            });
            b->widget = w;
            break;
        }
        case K::Grid: {
            int i = 0;
            while (i < 3 && name != frmProperties::kGrids[i]) ++i;
            auto* w = new platform::GridView(dlg_.grid(i), parent);
            w->setEditTriggers(QAbstractItemView::NoEditTriggers);
            auto click = [this, name, w](const QModelIndex& i, bool twice) {
                if (auto c = w->cell_at(i)) w->hand_over([&] { dlg_.CellClick(name, c->row, c->col, twice); });
            };
            connect(w, &QTableView::clicked, this, [click](const QModelIndex& i) { click(i, false); });
            connect(w, &QTableView::doubleClicked, this, [click](const QModelIndex& i) { click(i, true); });
            connect(w->verticalHeader(), &QHeaderView::sectionClicked, this,
                    [this, name](int row) { dlg_.CellClick(name, row + 1, 0, false); });
            b->widget = w;
            break;
        }
        }
        b->widget->setObjectName(q(name));
        if (c.kind == K::Frame) b->widget->lower();
        bound_[name] = std::move(b);
    }
    applying_ = false;
    sync();
}

void PropertiesView::sync()
{
    if (!tabs_ || bound_.size() != dlg_.controls().size()) return;
    applying_ = true;
    setWindowTitle(q(dlg_.Caption));
    resize(px(dlg_.Width), px(dlg_.Height));
    // The tab control as wide as the dialog (its right edge is seen).
    tabs_->setGeometry(0, 0, px(dlg_.Width), px(dlg_.Height - 85));
    tabs_->setCurrentIndex(dlg_.tab());
    const int tab_top = tabs_->tabBar()->height();
    using K = DialogControl::Kind;
    std::map<std::string, bool> frames; // the frames shown
    for (const DialogControl& c : dlg_.controls())
        if (c.kind == K::Frame) frames[c.name] = c.visible;
    for (const DialogControl& c : dlg_.controls()) {
        Bound& b = *bound_.at(c.name);
        QWidget* w = b.widget;
        // Controls on a tab are placed in twips from the tab control's top.
        const int top = c.tab >= 0 ? c.top - twips(tab_top) : c.top;
        draw_control(w, c, top, zoom_);
        // A frame's controls lie on the page beside it; they show with it.
        if (!c.frame.empty() && !frames[c.frame]) w->setVisible(false);
        if (c.kind == K::Combo || c.kind == K::List) {
            const bool refill = b.items != c.items;
            QStringList items;
            if (refill) {
                items.reserve(qsizetype(c.items.size()));
                for (const auto& s : c.items) items << q(s);
                b.items = c.items;
            }
            if (auto* x = qobject_cast<QComboBox*>(w)) {
                if (refill) x->clear(), x->addItems(items);
                x->setCurrentIndex(c.ListIndex);
                if (x->currentText().toStdString() != c.text) x->setEditText(q(c.text));
            }
            if (auto* x = qobject_cast<QListWidget*>(w)) {
                if (refill) x->clear(), x->addItems(items);
                x->setCurrentRow(c.ListIndex);
            }
        }
    }
    applying_ = false;
    // A caption that does not fit at the font draws the whole dialog larger.
    std::map<std::string, QWidget*> widgets{{"SSTProperties", tabs_}};
    for (const auto& [name, b] : bound_) widgets[name] = b->widget;
    if (const double z = caption_zoom(widgets, zoom_); z > zoom_) {
        zoom_ = z;
        return sync();
    }
    if (!dlg_.Visible() && isVisible()) done(QDialog::Accepted);
}

void PropertiesView::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    if (applying_ || !tabs_) return;
    run_view_handler(this, "frmProperties.Form_Resize", [&] {
        dlg_.Form_Resize(twips(e->size().width()), twips(e->size().height()));
    });
}

void PropertiesView::reject()
{
    if (dlg_.Visible()) run_view_handler(this, "frmProperties.cmdCancel_Click", [this] { dlg_.Click("cmdCancel"); });
    QDialog::reject();
}

void bind_properties_view(frmProperties& dialog, QWidget* parent)
{
    auto* view = new PropertiesView(dialog, parent);
    dialog.on_changed = [view] { view->sync(); };
    dialog.on_show_modal = [view, &dialog] {
        view->rebuild();
        if (dialog.Visible()) view->exec();
    };
    // The dialog class may outlive its view (the main window's view goes first).
    QObject::connect(view, &QObject::destroyed, [&dialog] {
        dialog.on_changed = nullptr;
        dialog.on_show_modal = nullptr;
    });
}

} // namespace app
