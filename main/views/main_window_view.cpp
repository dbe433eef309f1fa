#include "main/views/main_window_view.h"

#include "main/views/frm_about_view.h"
#include "main/app/form.h"
#include "main/app/frm_main.h"
#include "main/views/gps_status_view.h"
#include "main/views/picker_view.h"
#include "main/table/picker.h"
#include "platform/grid/grid_view.h"

#include <QAction>
#include <QEvent>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace app {
namespace {

constexpr int kTwipsPerPixel = 15;
int px(int twips) { return twips / kTwipsPerPixel; }
QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Small pictures for the table buttons, drawn rather than shipped.
QIcon picture(const std::string& name)
{
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(40, 40, 40), 1.5);
    p.setPen(pen);
    if (name == "cmdAddRec") {
        p.setPen(QPen(QColor(0, 128, 0), 3));
        p.drawLine(10, 3, 10, 17);
        p.drawLine(3, 10, 17, 10);
    } else if (name == "cmdDeleteSel") {
        p.setPen(QPen(QColor(200, 0, 0), 3));
        p.drawLine(4, 4, 16, 16);
        p.drawLine(16, 4, 4, 16);
    } else if (name == "cmdClearSel") {
        p.setPen(QPen(QColor(60, 60, 60), 1.5, Qt::DashLine));
        p.drawRect(3, 4, 14, 12);
    } else if (name == "cmdCopy") {
        p.setBrush(Qt::white);
        p.drawRect(2, 2, 10, 12);
        p.drawRect(8, 6, 10, 12);
    } else if (name == "cmdPaste") {
        p.setBrush(QColor(205, 170, 110));
        p.drawRect(3, 3, 14, 15);
        p.setBrush(Qt::white);
        p.drawRect(6, 1, 8, 4);
        p.drawRect(6, 7, 8, 9);
    }
    return QIcon(pm);
}

} // namespace

MainWindowView::MainWindowView(frmMain& main, QWidget* parent) : QMainWindow(parent), main_(main)
{
    setObjectName("frmMain");
    // A handler run from this window or any window it owns that lets an
    // error through shows it in the program's error box; the program goes on.
    set_view_error_box(this, main_.dialogs());
    for (MenuItem& top : main_.menus().top()) {
        QMenu* m = menuBar()->addMenu(q(top.caption));
        m->setObjectName(q(top.name));
        actions_[&top] = m->menuAction();
        build_menus(m, top.children);
    }

    auto* central = new QWidget(this);
    setCentralWidget(central);
    for (Control* c : {&main_.cmdAdvanced, &main_.cmdConvert, &main_.cmdAddRec, &main_.cmdDeleteSel,
                       &main_.cmdClearSel, &main_.cmdCopy, &main_.cmdPaste}) {
        auto* b = new QPushButton(central);
        b->setObjectName(q(c->name));
        if (c->caption.empty() && c != &main_.cmdAdvanced && c != &main_.cmdConvert) {
            b->setIcon(picture(c->name));
            b->setIconSize(QSize(18, 18));
        }
        std::string name = c->name;
        connect(b, &QPushButton::clicked, this, [this, name] {
            main_.menu_Click(name);
            sync_controls();
        });
        buttons_[name] = b;
    }
    for (Control* c : {&main_.optWpt, &main_.optTrk, &main_.optRte, &main_.optRTWpt}) {
        auto* o = new QRadioButton(central);
        o->setObjectName(q(c->name));
        o->setAutoExclusive(false); // frmMain decides which one is ticked
        std::string name = c->name;
        connect(o, &QRadioButton::clicked, this, [this, name] {
            main_.menu_Click(name);
            sync_controls();
        });
        options_[name] = o;
    }
    std::vector<Control*> labels = {&main_.lblGPSDesc1, &main_.lbllat, &main_.lbllon, &main_.lblepe, &main_.lblAlt};
    for (Control& l : main_.Label1) labels.push_back(&l);
    for (Control* c : labels) {
        auto* l = new QLabel(central);
        l->setObjectName(q(c->name));
        labels_[c] = l;
    }

    grid_view_ = new platform::GridView(main_.MSFlexGrid1, central);
    grid_view_->setObjectName("MSFlexGrid1");
    grid_view_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_view_->verticalHeader()->setDefaultSectionSize(18);
    // The grid's events go to frmMain's handlers, which trap their errors.
    // The grid learns the view's current cell, opposite corner and the
    // cell under the mouse before each event.
    auto click = [this](const QModelIndex& i, bool twice) {
        if (auto c = grid_view_->cell_at(i))
            grid_view_->hand_over([&] {
                take_selection(*c);
                if (!twice) main_.MSFlexGrid1.set_mouse(c->row, c->col);
                main_.grid_Event(twice ? "DblClick" : "Click");
            });
    };
    connect(grid_view_, &QTableView::clicked, this, [click](const QModelIndex& i) { click(i, false); });
    connect(grid_view_, &QTableView::doubleClicked, this, [click](const QModelIndex& i) { click(i, true); });
    connect(grid_view_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        main_.MSFlexGrid1.set_mouse(0, section + main_.MSFlexGrid1.FixedCols());
        main_.grid_Event("Click");
    });
    // A move of the current cell or the selection, by mouse or keyboard.
    auto moved = [this] {
        if (auto c = grid_view_->user_move())
            grid_view_->hand_over([&] {
                take_selection(*c);
                main_.grid_Event("SelChange");
            });
    };
    connect(grid_view_->selectionModel(), &QItemSelectionModel::currentChanged, this, moved);
    connect(grid_view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, moved);
    main_.frmWptSelect().on_show = [this](flxgrd::frmWptSelect& p) { show_picker_dialog(p, main_.table(), this); };
    if (Form* chooser = main_.form("frmGPSStatus")) Bind_GPSStatus_View(*chooser, this);

    for (int i = 0; i < 3; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setObjectName(QString("StatusBar1_%1").arg(i + 1));
        panels_[i]->setMinimumWidth(i == 1 ? 200 : 110);
    }
    statusBar()->addWidget(panels_[0]);
    statusBar()->addWidget(panels_[1], 1);
    statusBar()->addPermanentWidget(panels_[2]);
    statusBar()->setSizeGripEnabled(false);

    quiet_window_ = new QWidget(nullptr, Qt::Window);
    quiet_window_->setObjectName("frmQuietStatus");
    quiet_window_->resize(320, 60);
    auto* ql = new QVBoxLayout(quiet_window_);
    quiet_label_ = new QLabel(quiet_window_);
    quiet_label_->setObjectName("lblStatus");
    ql->addWidget(quiet_label_);

    splash_window_ = new QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
    splash_window_->setObjectName("frmSplash");
    splash_window_->setFixedSize(360, 160);
    splash_window_->setStyleSheet("background: #f4efe2;");
    auto* sl = new QVBoxLayout(splash_window_);
    auto* title = new QLabel("Trekfold", splash_window_);
    title->setObjectName("lblTitle");
    title->setFont(QFont("DejaVu Serif", 28, QFont::Bold));
    title->setAlignment(Qt::AlignCenter);
    splash_version_ = new QLabel(splash_window_);
    splash_version_->setObjectName("lblVersion");
    splash_version_->setAlignment(Qt::AlignCenter);
    auto* desc = new QLabel("GPS receiver data for GIS", splash_window_);
    desc->setObjectName("lblDescription");
    desc->setAlignment(Qt::AlignCenter);
    sl->addWidget(title);
    sl->addWidget(splash_version_);
    sl->addWidget(desc);

    main_.on_changed = [this](unsigned c) { refresh(c); };
    main_.show_about_modal = [this](frmAbout& about) { Show_About_Modal(about, this); };
    main_.on_repaint_quiet_status = [this] {
        if (quiet_window_->isVisible()) quiet_label_->repaint();
    };
    refresh(ChangeAll);
}

MainWindowView::~MainWindowView()
{
    main_.on_changed = nullptr;
    main_.show_about_modal = nullptr;
    main_.on_repaint_quiet_status = nullptr;
    delete quiet_window_;
    delete splash_window_;
}

void MainWindowView::build_menus(QMenu* into, std::vector<MenuItem>& items)
{
    for (MenuItem& m : items) {
        if (m.separator()) {
            QAction* s = into->addSeparator();
            s->setObjectName(q(m.name));
            actions_[&m] = s;
            continue;
        }
        if (!m.children.empty()) {
            QMenu* sub = into->addMenu(q(m.caption));
            sub->setObjectName(q(m.name));
            actions_[&m] = sub->menuAction();
            build_menus(sub, m.children);
            continue;
        }
        QAction* a = into->addAction(q(m.caption));
        a->setObjectName(m.index >= 0 ? q(m.name + "_" + std::to_string(m.index)) : q(m.name));
        a->setCheckable(m.index >= 0);
        std::string name = m.name;
        int index = m.index;
        connect(a, &QAction::triggered, this, [this, name, index] {
            main_.menu_Click(name, index);
            sync_menus(); // the item's own check mark is frmMain's to set
        });
        actions_[&m] = a;
    }
}

QAction* MainWindowView::action(const std::string& name, int index) const
{
    const MenuItem* m = main_.menus().find(name, index);
    auto it = actions_.find(m);
    return it == actions_.end() ? nullptr : it->second;
}

QPushButton* MainWindowView::button(const std::string& name) const
{
    auto it = buttons_.find(name);
    return it == buttons_.end() ? nullptr : it->second;
}

QRadioButton* MainWindowView::option(const std::string& name) const
{
    auto it = options_.find(name);
    return it == options_.end() ? nullptr : it->second;
}

void MainWindowView::refresh(unsigned change)
{
    if (change & ChangeCaption) setWindowTitle(q(main_.Caption));
    if (change & ChangeMenus) sync_menus();
    if (change & ChangeControls) sync_controls();
    if (change & ChangeStatus)
        for (int i = 0; i < 3; ++i) panels_[i]->setText(q(main_.StatusBar1[i]));
    if (change & ChangeQuietStatus) {
        quiet_window_->setWindowTitle(q(main_.frmQuietStatus.caption));
        quiet_label_->setText(q(main_.frmQuietStatus_lblStatus));
        quiet_window_->setVisible(main_.frmQuietStatus.loaded && main_.frmQuietStatus.visible);
    }
    // The main window is placed and shown before the splash, so the splash
    // is centred on it and stays in front with the focus.
    if (change & ChangeGeometry) sync_geometry();
    if (change & ChangeSplash) {
        splash_version_->setText(q(main_.frmSplash_lblVersion));
        bool show = main_.frmSplash.loaded && main_.frmSplash.visible;
        if (show && !splash_window_->isVisible()) {
            QRect g = geometry();
            splash_window_->move(g.center() - QPoint(splash_window_->width() / 2, splash_window_->height() / 2));
            splash_window_->show();
            splash_window_->raise();
            splash_window_->activateWindow();
        } else if (!show) {
            splash_window_->hide();
        }
    }
    if (change & ChangeEnded) {
        quiet_window_->hide();
        splash_window_->hide();
        hide();
        // The program ends once the handler that unloaded the window returns.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    }
}

void MainWindowView::sync_menus()
{
    for (auto& [item, a] : actions_) {
        if (item->separator()) {
            a->setVisible(item->visible);
            continue;
        }
        a->setText(q(item->caption));
        if (a->isCheckable()) a->setChecked(item->checked);
        a->setEnabled(item->enabled);
        a->setVisible(item->visible);
    }
}

void MainWindowView::place(QWidget* w, const Control& c)
{
    w->setGeometry(px(c.left), px(c.top), px(c.width), px(c.height));
    w->setEnabled(c.enabled);
    w->setVisible(c.visible);
    w->setToolTip(q(c.tooltip));
}

void MainWindowView::sync_controls()
{
    for (Control* c : {&main_.cmdAdvanced, &main_.cmdConvert, &main_.cmdAddRec, &main_.cmdDeleteSel,
                       &main_.cmdClearSel, &main_.cmdCopy, &main_.cmdPaste}) {
        QPushButton* b = buttons_[c->name];
        place(b, *c);
        b->setText(q(c->caption));
    }
    for (Control* c : {&main_.optWpt, &main_.optTrk, &main_.optRte, &main_.optRTWpt}) {
        QRadioButton* o = options_[c->name];
        place(o, *c);
        o->setText(q(c->caption));
        o->setChecked(c->value);
    }
    for (auto& [c, l] : labels_) {
        place(l, *c);
        l->setText(q(c->caption));
    }
    place(grid_view_, main_.grid_area);
    // With the panel closed the window is too short for the table and its
    // buttons; they would only peek out from under the status bar.
    if (!main_.panel_open()) {
        grid_view_->setVisible(false);
        for (const char* n : {"cmdAddRec", "cmdDeleteSel", "cmdClearSel", "cmdCopy", "cmdPaste"})
            buttons_[n]->setVisible(false);
    }
}

int MainWindowView::menu_height() const { return menuBar()->sizeHint().height(); }

void MainWindowView::sync_geometry()
{
    applying_ = true;
    setWindowTitle(q(main_.Caption));
    int w = px(main_.Width), h = px(main_.Height) + menu_height();
    if (main_.panel_open()) {
        setMinimumSize(px(7700), px(5500) + menu_height());
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(w, h);
    } else {
        setFixedSize(w, h);
    }
    move(px(main_.Left), px(main_.Top));
    if (main_.Visible) {
        if (main_.WindowState == vbMinimized)
            showMinimized();
        else if (!isVisible() || isMinimized())
            showNormal();
    }
    applying_ = false;
}

void MainWindowView::take_selection(const platform::GridView::Cell& c)
{
    platform::Grid& g = main_.MSFlexGrid1;
    g.SetRow(c.row);
    g.SetCol(c.col);
    g.SetRowSel(c.row_sel);
    g.SetColSel(c.col_sel);
}

void MainWindowView::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    if (applying_ || isMinimized() || !main_.Visible) return;
    int w = width() * kTwipsPerPixel;
    int h = (height() - menu_height()) * kTwipsPerPixel;
    if (w == main_.Width && h == main_.Height) return;
    main_.Width = w;
    main_.Height = h;
    run_view_handler(this, "frmMain.Form_Resize", [this] { main_.Form_Resize(); });
}

void MainWindowView::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) main_.state().active_window = "frmMain";
}

void MainWindowView::closeEvent(QCloseEvent* e)
{
    if (!main_.ended()) {
        run_view_handler(this, "frmMain.Form_Unload", [this] {
            int cancel = 0;
            main_.Form_Unload(cancel);
        });
    }
    e->accept();
}

QImage MainWindowView::snapshot()
{
    QImage body = grab().toImage();
    const int bar = 26;
    QImage out(body.width(), body.height() + bar, QImage::Format_RGB32);
    out.fill(QColor(58, 82, 128));
    QPainter p(&out);
    p.setPen(Qt::white);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(8, 0, out.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, windowTitle());
    p.drawImage(0, bar, body);
    return out;
}

} // namespace app
