#include "main/views/hotlinking_view.h"

#include "main/app/frm_main.h"
#include "main/hotlink/frm_hotlinking.h"
#include "main/views/control_view.h"
#include "main/views/time_calibrate_view.h"
#include "platform/grid/grid_view.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>

namespace app {

namespace {

// A label that hands its click to the window class.
class ClickLabel : public QLabel {
public:
    ClickLabel(QWidget* parent, hotlink::frmHotlinking& form, std::string name)
        : QLabel(parent), form_(form), name_(std::move(name))
    {
    }

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && isEnabled()) form_.Click(name_);
        QLabel::mousePressEvent(e);
    }

private:
    hotlink::frmHotlinking& form_;
    std::string name_;
};

} // namespace

HotlinkingView::HotlinkingView(hotlink::frmHotlinking& form, QWidget* owner) : FormView(form, owner)
{
    sync();
}

int HotlinkingView::menu_height() const { return menu_bar_ ? menu_bar_->sizeHint().height() : 0; }

void HotlinkingView::build()
{
    using K = DialogControl::Kind;
    menu_bar_ = new QMenuBar(this);
    for (const MenuItem& top : form_.menus()) {
        QMenu* m = menu_bar_->addMenu(QString::fromStdString(top.caption));
        for (const MenuItem& item : top.children) {
            const std::string name = item.name;
            QAction* a = m->addAction(QString::fromStdString(item.caption));
            connect(a, &QAction::triggered, this, [this, name] { form_.Click(name); });
        }
    }
    for (const DialogControl& c : form_.controls())
        if (c.kind == K::Frame) widgets_[c.name] = new QGroupBox(this);
    for (const DialogControl& c : form_.controls()) {
        const std::string name = c.name;
        QWidget* parent = c.frame.empty() ? static_cast<QWidget*>(this) : widgets_.at(c.frame);
        if (c.kind == K::Frame) continue;
        if (QWidget* b = clickable(c)) {
            b->setParent(parent);
            widgets_[name] = b;
            continue;
        }
        QWidget* w = nullptr;
        if (c.kind == K::Combo) {
            auto* box = new QComboBox(parent);
            connect(box, &QComboBox::activated, this, [this, name, box](int i) {
                if (!applying_) form_.SetText(name, box->itemText(i).toStdString());
            });
            w = box;
        } else if (c.kind == K::List) {
            auto* list = new QListWidget(parent);
            connect(list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
                std::string path = form_.folder();
                const std::string sub = item->text().toStdString();
                if (sub == "..") {
                    const auto slash = path.rfind('/');
                    path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
                } else {
                    path = (path == "/" ? "" : path) + "/" + sub;
                }
                form_.SetText("Dir1", path);
            });
            w = list;
        } else if (c.kind == K::Grid) {
            table_ = new platform::GridView(form_.msfgTable, parent);
            table_->setSelectionMode(QAbstractItemView::ContiguousSelection);
            // Clicks and every move of the highlight, by mouse or keyboard,
            // reach the window, so its commands and preview act on what is
            // highlighted.
            auto click = [this](const QModelIndex& i, bool twice) {
                if (auto c = table_->cell_at(i))
                    table_->hand_over([&] { form_.CellClick("msfgTable", c->row, c->col, c->row_sel, c->col_sel, twice); });
            };
            connect(table_, &QTableView::clicked, this, [click](const QModelIndex& i) { click(i, false); });
            connect(table_, &QTableView::doubleClicked, this, [click](const QModelIndex& i) { click(i, true); });
            auto moved = [this] {
                if (auto c = table_->user_move())
                    table_->hand_over([&] { form_.CellMove("msfgTable", c->row, c->col, c->row_sel, c->col_sel); });
            };
            connect(table_->selectionModel(), &QItemSelectionModel::currentChanged, this, moved);
            connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, moved);
            connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int col) {
                form_.CellClick("msfgTable", 0, col, 0, col, false);
            });
            w = table_;
        } else if (c.kind == K::Picture) {
            preview_ = new QLabel(parent);
            preview_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            preview_->setFrameShape(QFrame::Box);
            w = preview_;
        } else if (name == "lblTimeMatch" || name == "lblTimeCalibration") {
            w = new ClickLabel(parent, form_, name);
        } else {
            w = new QLabel(parent);
        }
        widgets_[name] = w;
    }
}

void HotlinkingView::sync()
{
    applying_ = true;
    if (widgets_.empty() && form_.Loaded()) build();
    setWindowTitle(QString::fromStdString(form_.Caption()));
    const int top = menu_height();
    if (form_.Visible()) resize(px(form_.Width), px(form_.Height) + top);
    if (menu_bar_) menu_bar_->setGeometry(0, 0, width(), top);
    for (const DialogControl& c : form_.controls()) {
        QWidget* w = widget(c.name);
        if (!w) continue;
        draw_control(w, c, c.frame.empty() ? c.top + twips(top) : c.top, zoom_);
        if (auto* box = qobject_cast<QComboBox*>(w)) {
            QStringList items;
            for (const auto& item : c.items) items << QString::fromStdString(item);
            QStringList shown;
            for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
            if (shown != items) box->clear(), box->addItems(items);
            box->setCurrentText(QString::fromStdString(c.text));
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            QStringList items;
            for (const auto& item : c.items) items << QString::fromStdString(item);
            list->clear();
            list->addItems(items);
            list->setToolTip(QString::fromStdString(c.text));
        }
    }
    if (preview_) {
        // The picture fits the box at its design size; a window drawn
        // larger draws it larger alike.
        QImage image = platform::to_qimage(form_.pictPreview());
        if (!image.isNull() && zoom_ > 1)
            image = image.scaled(image.size() * zoom_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        preview_->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    }
    if (form_.Visible() != isVisible()) setVisible(form_.Visible());
    applying_ = false;
    if (refit()) sync();
}

void HotlinkingView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    if (applying_ || !form_.Visible()) return;
    const int w = twips(e->size().width());
    const int h = twips(e->size().height() - menu_height());
    if (w != form_.Width || h != form_.Height) guarded("Form_Resize", [&] { form_.Resize(w, h); });
}

void HotlinkingView::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && form_.Loaded())
        guarded("Form_Activate", [this] { form_.Activate(); });
    if (e->type() == QEvent::WindowStateChange) form_.WindowState = isMinimized() ? 1 : isMaximized() ? 2 : 0;
}

void bind_hotlinking_view(frmMain& main, QWidget* owner)
{
    auto* form = dynamic_cast<hotlink::frmHotlinking*>(main.form("frmHotlinking"));
    if (!form) return;
    bind_form_view<HotlinkingView>(*form, owner);
    bind_time_calibrate_view(form->TimeCalibrate(), owner);
}

} // namespace app
