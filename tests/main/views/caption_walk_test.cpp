// Every window's captions fit their controls at the default font, and no two
// of its shown controls lie over each other: a walk over each window's
// buttons, options, check boxes, labels and frames on the offscreen platform.
#include "tests/support/qt_app.h"
#include "tests/main/app/rig.h"
#include "tests/main/coords/harness.h"
#include "tests/main/files/gpx_rig.h"
#include "tests/main/realtime/realtime_rig.h"
#include "tests/main/transfer/receiver.h"

#include "main/hotlink/frm_hotlinking.h"
#include "main/hotlink/hotlink.h"
#include "main/coords/cep.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/realtime.h"
#include "main/files/table_files.h"
#include "main/table/picker.h"
#include "main/transfer/discovery.h"
#include "main/transfer/frm_image.h"
#include "main/views/cep_view.h"
#include "main/views/files_view.h"
#include "main/views/gps_status_view.h"
#include "main/views/image_view.h"
#include "main/views/hotlinking_view.h"
#include "main/views/main_window_view.h"
#include "main/views/nmea_viewer_view.h"
#include "main/views/layer_selection_view.h"
#include "main/views/properties_view.h"
#include "main/views/realtime_view.h"
#include "main/settings/frm_properties.h"
#include "main/links/layer_selection.h"
#include "main/program/compose_views.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QTimer>
#include <QTabBar>
#include <QTabWidget>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QStackedWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

using testing::IsEmpty;

// The text a caption shows: "&" marks the access key ("&&" is one "&").
QString shown(const QString& caption)
{
    QString out;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

// The room a control leaves its caption, -1 for controls without one.
int room(QWidget* w, QString& text)
{
    QStyle* s = w->style();
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        text = shown(b->text());
        QStyleOptionButton o;
        o.initFrom(b);
        o.text = b->text();
        int r = s->subElementRect(QStyle::SE_PushButtonContents, &o, b).width();
        if (!b->icon().isNull()) r -= b->iconSize().width() + 4;
        return r;
    }
    if (auto* b = qobject_cast<QCheckBox*>(w)) {
        text = shown(b->text());
        QStyleOptionButton o;
        o.initFrom(b);
        return s->subElementRect(QStyle::SE_CheckBoxContents, &o, b).width();
    }
    if (auto* b = qobject_cast<QRadioButton*>(w)) {
        text = shown(b->text());
        QStyleOptionButton o;
        o.initFrom(b);
        return s->subElementRect(QStyle::SE_RadioButtonContents, &o, b).width();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->wordWrap() || l->textFormat() == Qt::RichText) return -1;
        text = l->text();
        return l->contentsRect().width() - 2 * l->margin() - std::max(l->indent(), 0);
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        text = shown(g->title());
        QStyleOptionGroupBox o;
        o.initFrom(g);
        o.text = g->title();
        o.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        o.lineWidth = 1;
        const QRect label = s->subControlRect(QStyle::CC_GroupBox, &o, QStyle::SC_GroupBoxLabel, g);
        return g->width() - label.left() - 1;
    }
    return -1;
}

// Widgets that only hold other controls: the walk looks inside them.
bool holder(QWidget* w)
{
    const QString c = w->metaObject()->className();
    return c == "QWidget" || c == "QFrame" || qobject_cast<QStackedWidget*>(w) || qobject_cast<QGroupBox*>(w) ||
           qobject_cast<QTabWidget*>(w) || qobject_cast<QMainWindow*>(w);
}

std::string widget_name(QWidget* w)
{
    return (w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName()).toStdString();
}

// Its name and the start of its caption.
std::string control_name(QWidget* w)
{
    QString text = qobject_cast<QAbstractButton*>(w) ? static_cast<QAbstractButton*>(w)->text()
                   : qobject_cast<QLabel*>(w)        ? static_cast<QLabel*>(w)->text()
                                                     : QString();
    return widget_name(w) + (text.isEmpty() ? "" : " \"" + text.left(24).toStdString() + "\"");
}

// The shown controls of `window` (frames and tab widgets among them), each
// with the part of it seen (clipped by its parents); "outside: name" in
// `cut` for each that runs past the window or past what holds it.
std::vector<std::pair<QWidget*, QRect>> shown_controls(QWidget* window, std::vector<std::string>* cut = nullptr)
{
    auto span = [](QRect r) {
        return std::to_string(r.left()) + ".." + std::to_string(r.right()) + " x " + std::to_string(r.top()) + ".." +
               std::to_string(r.bottom());
    };
    std::vector<std::pair<QWidget*, QRect>> seen;
    std::function<void(QWidget*, QRect)> walk = [&](QWidget* parent, QRect clip) {
        for (QWidget* w : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w->isHidden() || w->isWindow()) continue;
            const QRect whole(w->mapTo(window, QPoint(0, 0)), w->size());
            const QRect r = whole & clip;
            if (cut && !whole.isEmpty() && r != whole)
                cut->push_back("outside: " + control_name(w) + " " + span(whole) + " past " + span(clip));
            if (r.isEmpty()) continue;
            if (!holder(w) || qobject_cast<QGroupBox*>(w) || qobject_cast<QTabWidget*>(w)) seen.emplace_back(w, r);
            if (holder(w)) walk(w, r);
        }
    };
    walk(window, window->rect());
    return seen;
}

// "a / b" for each two shown controls of `window` that overlap where they
// are seen (clipped by their parents). A frame or tab widget may hold
// controls wholly inside it, its own or drawn beside it on its page.
std::vector<std::string> overlaps(QWidget* window)
{
    const std::vector<std::pair<QWidget*, QRect>> seen = shown_controls(window);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < seen.size(); ++i)
        for (std::size_t j = i + 1; j < seen.size(); ++j) {
            auto [a, ra] = seen[i];
            auto [b, rb] = seen[j];
            auto holds = [](QWidget* x, QRect rx, QRect ry) {
                return (qobject_cast<QGroupBox*>(x) || qobject_cast<QTabWidget*>(x)) && rx.contains(ry);
            };
            if (!ra.intersects(rb) || a->isAncestorOf(b) || b->isAncestorOf(a) || holds(a, ra, rb) || holds(b, rb, ra))
                continue;
            out.push_back(control_name(a) + " / " + control_name(b));
        }
    return out;
}

// "name: text (needs N, has M)" for each caption wider than its control, a
// wrapped label taller than its own (in lines of text) and a tab bar whose
// tabs do not all fit.
std::vector<std::string> cut_captions(QWidget* window)
{
    std::vector<std::string> cut;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isHidden() || w->isWindow()) continue;
        auto* l = qobject_cast<QLabel*>(w);
        if (l && l->wordWrap() && l->textFormat() != Qt::RichText && !l->text().isEmpty() &&
            l->heightForWidth(l->width()) > l->height())
            cut.push_back(widget_name(w) + ": \"" + l->text().toStdString() + "\" (needs height " +
                          std::to_string(l->heightForWidth(l->width())) + ", has " + std::to_string(l->height()) + ")");
        if (auto* t = qobject_cast<QTabBar*>(w); t && t->sizeHint().width() > t->parentWidget()->width())
            cut.push_back(widget_name(w) + " (needs " + std::to_string(t->sizeHint().width()) + ", has " +
                          std::to_string(t->parentWidget()->width()) + ")");
        QString text;
        const int has = room(w, text);
        if (has < 0 || text.isEmpty()) continue;
        int needs = 0; // the widest line
        for (const QString& line : text.split('\n')) needs = std::max(needs, w->fontMetrics().horizontalAdvance(line));
        if (needs > has)
            cut.push_back(widget_name(w) + ": \"" + text.toStdString() + "\" (needs " + std::to_string(needs) + ", has " +
                          std::to_string(has) + ")");
    }
    for (std::string& o : overlaps(window)) cut.push_back("overlap: " + o);
    shown_controls(window, &cut);
    return cut;
}

class CaptionWalk : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test_support::ensure_qapplication(); }
    // Walks the modal window `show` shows, once it is up, then closes it.
    void walk_modal(const std::function<void()>& show)
    {
        QTimer poll;
        poll.setInterval(10);
        bool seen = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* d = QApplication::activeModalWidget();
            if (!d || seen) return;
            seen = true;
            EXPECT_THAT(cut_captions(d), IsEmpty()) << d->windowTitle().toStdString();
            ++walked;
            d->close();
        });
        poll.start();
        show();
    }
    int walked = 0;
};

TEST_F(CaptionWalk, MainWindow)
{
    apptest::Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    v.show();
    EXPECT_THAT(cut_captions(&v), IsEmpty());
    r.main.menu_Click("cmdAdvanced");
    EXPECT_THAT(cut_captions(&v), IsEmpty());
}

TEST_F(CaptionWalk, RealTimeWindow)
{
    rttest::Tracker t(false);
    QWidget owner;
    app::bind_realtime_view(t.w(), &owner);
    t.start();
    auto* view = owner.findChild<app::RealTimeView*>();
    ASSERT_TRUE(view && view->isVisible());
    EXPECT_THAT(cut_captions(view), IsEmpty());
}

TEST_F(CaptionWalk, HotlinkWindowAndItsMatchProperties)
{
    apptest::Rig r(false);
    r.load();
    QWidget owner;
    app::bind_hotlinking_view(r.main, &owner);
    r.main.hotlink().show_frmHotlinking();
    auto* view = owner.findChild<app::HotlinkingView*>();
    ASSERT_TRUE(view && view->isVisible());
    EXPECT_THAT(cut_captions(view), IsEmpty());
    auto& form = dynamic_cast<hotlink::frmHotlinking&>(*r.main.form("frmHotlinking"));
    form.Click("cmdTimeThreshold");
    QWidget* calibrate = nullptr;
    for (QWidget* w : owner.findChildren<QWidget*>())
        if (w->isWindow() && w != view && w->isVisible()) calibrate = w;
    ASSERT_TRUE(calibrate);
    EXPECT_THAT(cut_captions(calibrate), IsEmpty());
}

TEST_F(CaptionWalk, CepAndNmeaWindows)
{
    coordstest::Harness h;
    h.write_epsg();
    h.load();
    QWidget owner;
    app::bind_cep_view(h.main.coords().CalculateCEP(), &owner);
    app::bind_nmea_viewer_view(h.main.realtime().NMEAViewer(), &owner);
    h.main.menu_Click("mnuCalculateCEP");
    h.main.menu_Click("mnuViewNMEA");
    int shown_windows = 0;
    for (QWidget* w : owner.findChildren<QWidget*>())
        if (w->isWindow() && w->isVisible()) {
            ++shown_windows;
            EXPECT_THAT(cut_captions(w), IsEmpty()) << w->windowTitle().toStdString();
        }
    EXPECT_EQ(shown_windows, 2);
}

TEST_F(CaptionWalk, PropertiesOnEveryTab)
{
    coordstest::Harness h;
    h.write_epsg();
    h.load();
    auto& dlg = static_cast<app::frmProperties&>(h.main.frmProperties());
    app::PropertiesView v(dlg);
    dlg.on_changed = [&v] { v.sync(); };
    dlg.Show(0);
    v.rebuild();
    v.show();
    for (int tab = 0; tab < v.tabs()->count(); ++tab) {
        v.tabs()->setCurrentIndex(tab);
        EXPECT_THAT(cut_captions(&v), IsEmpty()) << tab;
    }
    // Shrunk to its least and drawn larger, the controls that follow the
    // dialog's edges stay apart and inside it, and its frames end above
    // the row of its buttons.
    const QSize design = v.size();
    for (QSize size : {QSize(1, 1), design * 3 / 2}) {
        v.resize(size);
        for (int tab = 0; tab < v.tabs()->count(); ++tab) {
            v.tabs()->setCurrentIndex(tab);
            std::vector<std::string> cut = cut_captions(&v);
            const int row = v.widget("cmdOK")->geometry().top();
            for (auto* f : v.findChildren<QGroupBox*>())
                if (f->isVisible() && f->mapTo(&v, f->rect().bottomLeft()).y() >= row)
                    cut.push_back("frame over the buttons: " + f->objectName().toStdString());
            EXPECT_THAT(cut, IsEmpty()) << v.width() << "x" << v.height() << ", tab " << tab;
        }
    }
    // The frame not in use hides what it holds: the ArcMap note does not
    // lie over the EPSG lists.
    v.tabs()->setCurrentIndex(0);
    ASSERT_FALSE(v.widget("frmArcMap")->isVisible());
    EXPECT_FALSE(v.widget("lblAMProj")->isVisible());
    EXPECT_TRUE(v.widget("lbxDatums")->isVisible());
    dlg.on_changed = nullptr;
}

TEST_F(CaptionWalk, LayerChooser)
{
    apptest::Rig rig(false);
    ::setenv("TEMP", rig.dir.path.c_str(), 1);
    std::ofstream(rig.dir.path + "/GarminTempLayerFile.txt") << "1,\"A\",\"/a.shp\",\"B\",\"/b.shp\"";
    QWidget owner;
    app::bind_layer_selection_view(rig.main, &owner);
    auto& f = dynamic_cast<links::frmLandviewLayerSelection&>(*rig.main.form("frmLandviewLayerSelection"));
    rig.pump.post([&] {
        QWidget* view = owner.findChild<QWidget*>("frmLandviewLayerSelection");
        ASSERT_TRUE(view && view->isVisible());
        EXPECT_THAT(cut_captions(view), IsEmpty());
        view->close();
    });
    f.Show();
}

TEST_F(CaptionWalk, MainWindowsSmallWindowsAndDialogs)
{
    apptest::Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    EXPECT_THAT(cut_captions(v.splash_window()), IsEmpty());
    EXPECT_THAT(cut_captions(v.quiet_status_window()), IsEmpty());
    walk_modal([&] { r.main.menu_Click("mnuAbout"); });
    walk_modal([&] { r.main.frmWptSelect().Show(); });
    EXPECT_EQ(walked, 2);

    std::unique_ptr<QWidget> image = app::make_image_view(r.main);
    transfer::frmImage& w = transfer::Screen_Window(r.main);
    w.Form_Load();
    brenvik::Picture p;
    p.Width = 160;
    p.Height = 100;
    p.Pixels.assign(160 * 100, 0xFF000000u);
    w.ShowImage(p);
    ASSERT_TRUE(image->isVisible());
    EXPECT_THAT(cut_captions(image.get()), IsEmpty());
}

TEST_F(CaptionWalk, ReceiverChooser)
{
    platform::VariantArray e(0, 4);
    e.at(0) = std::string("Unit 3");
    e.at(1) = std::string("v1");
    e.at(2) = std::string("3");
    e.at(3) = std::string("9600,N,8,1");
    transfer::frmGPSStatus chooser({platform::Variant(std::move(e))});
    QWidget parent;
    app::Bind_GPSStatus_View(chooser, &parent);
    chooser.Show();
    auto* dlg = parent.findChild<QDialog*>("frmGPSStatus");
    ASSERT_TRUE(dlg && dlg->isVisible());
    EXPECT_THAT(cut_captions(dlg), IsEmpty());
}

TEST_F(CaptionWalk, FileDialogs)
{
    gpxtest::GpxRig rig;
    app::MainWindowView view{rig.main};
    app::bind_file_views(rig.main, &view);
    auto& fe = dynamic_cast<files::FileFrontEnd&>(rig.main.files());
    walk_modal([&] { fe.getFileInfo_UserShapeType("kml", "track"); });
    std::string type;
    walk_modal([&] { fe.getFileInfo_UserFeatureType(type); });
    rig.fill("waypoint", {});
    std::string names = "name;north;east";
    walk_modal([&] { fe.table_files().get_Required_Fields(names, "txt", "waypoint"); });
    walk_modal([&] { fe.mnuAddWorldFile_Click(); });
    EXPECT_EQ(walked, 4);
}

TEST_F(CaptionWalk, GarminInfo)
{
    receivertest::Unit unit("d110-array-unit");
    receivertest::Window w(unit);
    app::ProgramViews views(w.main);
    walk_modal([&] { views.main_window().action("mnuGInfo")->trigger(); });
    EXPECT_EQ(walked, 1);
}

} // namespace
