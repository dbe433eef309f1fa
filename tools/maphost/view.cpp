#include "tools/maphost/view.h"

#include "platform/automation/vb_error.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <map>

namespace maphost {

namespace ao = platform::arcobjects;

namespace {

QColor color_of(const ao::RgbColor& c) { return QColor(c.red, c.green, c.blue, std::clamp(c.transparency, 0, 255)); }

// The focus map's graphics, its visible extent fitted into the widget
// (north up; the display rotation turns the drawing about the centre).
class MapCanvas : public QWidget {
public:
    explicit MapCanvas(ao::MxApplication& app) : app_(app) { setMinimumSize(400, 300); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        const auto& map = app_.Document()->FocusMap;
        if (!map) return;
        ao::Envelope e = map->View()->Extent;
        if (e.empty) {
            for (const auto& el : map->BasicGraphicsLayer()->Elements())
                if (el->Geometry) e.Union(el->Geometry->Extent());
            for (const auto& l : map->BasicGraphicsLayer()->Layers())
                for (const auto& el : l->Elements())
                    if (el->Geometry) e.Union(el->Geometry->Extent());
        }
        if (e.empty || e.Width() <= 0 || e.Height() <= 0) return;
        const double scale = std::min(width() / e.Width(), height() / e.Height());
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(width() / 2.0, height() / 2.0);
        p.rotate(-app_.Rotation);
        p.scale(scale, -scale);
        p.translate(-e.Center().x, -e.Center().y);
        auto draw_layer = [&](const ao::GraphicsLayer& layer) {
            const auto& els = layer.Elements();
            for (auto it = els.rbegin(); it != els.rend(); ++it) draw(p, **it, scale);
        };
        draw_layer(*map->BasicGraphicsLayer());
        for (const auto& l : map->BasicGraphicsLayer()->Layers()) draw_layer(*l);
    }

private:
    static void draw(QPainter& p, const ao::Element& el, double scale)
    {
        if (!el.Geometry) return;
        const ao::Geometry& g = *el.Geometry;
        QPainterPath path;
        for (const auto& part : g.parts)
            for (std::size_t i = 0; i < part.size(); ++i)
                i ? path.lineTo(part[i].x, part[i].y) : path.moveTo(part[i].x, part[i].y);
        switch (el.Type()) {
        case ao::ElementType::Marker: {
            const double r = el.marker.size / scale / 2;
            p.setPen(Qt::NoPen);
            p.setBrush(color_of(el.marker.color));
            for (const auto& part : g.parts)
                for (const ao::XY& v : part) p.drawEllipse(QPointF(v.x, v.y), r, r);
            break;
        }
        case ao::ElementType::Line:
            p.setPen(QPen(color_of(el.line.color), el.line.width / scale));
            p.setBrush(Qt::NoBrush);
            p.drawPath(path);
            break;
        default:
            if (g.Type() == ao::GeometryType::Envelope) {
                path = QPainterPath();
                const ao::Envelope x = g.Extent();
                path.addRect(x.XMin, x.YMin, x.Width(), x.Height());
            } else if (g.Circle) {
                path = QPainterPath();
                path.addEllipse(QPointF(g.Circle->center.x, g.Circle->center.y), g.Circle->radius, g.Circle->radius);
            }
            p.setPen(QPen(color_of(el.fill.outline.color), el.fill.outline.width / scale));
            p.setBrush(color_of(el.fill.color));
            p.drawPath(path);
        }
    }
    ao::MxApplication& app_;
};

void click(const std::shared_ptr<ao::ICommand>& command)
{
    try {
        command->OnClick();
    } catch (const platform::VbError& e) {
        QMessageBox::critical(nullptr, "ArcMap", QString::fromStdString(e.description));
    }
}

void add_items(QMenu* menu, const std::vector<ao::CommandItem>& items)
{
    for (const auto& item : items) {
        if (item.group) menu->addSeparator();
        if (item.menu) add_items(menu->addMenu(QString::fromStdString(item.menu->Caption())), item.items);
        else if (item.command) {
            auto c = item.command;
            QAction* a = menu->addAction(QString::fromStdString(c->Caption()));
            a->setToolTip(QString::fromStdString(c->Tooltip()));
            a->setEnabled(c->Enabled());
            QObject::connect(a, &QAction::triggered, [c] { click(c); });
        }
    }
}

class HostWindow : public QMainWindow {
public:
    explicit HostWindow(ao::MxApplication& app) : app_(app), canvas_(new MapCanvas(app))
    {
        setWindowTitle(QString::fromStdString(app.Caption));
        setCentralWidget(canvas_);
        QMenu* bars = menuBar()->addMenu("&Toolbars");
        for (const auto& bar : app.Document()->CommandBars().Bars()) {
            QAction* a = bars->addAction(QString::fromStdString(bar->Caption()));
            a->setCheckable(true);
            QObject::connect(a, &QAction::toggled, [this, bar](bool on) { on ? show_bar(bar) : hide_bar(bar); });
            // Shown or hidden by another program too (docked as it attaches).
            bar->on_visible = [a](bool on) { a->setChecked(on); };
        }
        auto repaint = [this](const ao::Redraw&) { canvas_->update(); };
        for (const auto& m : app.Document()->Maps) m->View()->on_redraw = repaint;
        app.Document()->PageLayout->on_redraw = repaint;
        app.on_status = [this](int pane, const std::string& text) {
            if (pane == 0) statusBar()->showMessage(QString::fromStdString(text));
        };
        statusBar()->showMessage(QString::fromStdString(app.StatusBar[0]));
    }
    ~HostWindow() override
    {
        for (const auto& bar : app_.Document()->CommandBars().Bars()) bar->on_visible = nullptr;
    }

private:
    void show_bar(const ao::HostCommandBarRef& bar)
    {
        bar->Show();
        auto it = toolbars_.find(bar.get());
        if (it == toolbars_.end()) {
            QToolBar* tb = addToolBar(QString::fromStdString(bar->Caption()));
            for (const auto& item : bar->Items()) {
                if (item.group) tb->addSeparator();
                if (item.menu) {
                    auto* button = new QToolButton(tb);
                    button->setText(QString::fromStdString(item.menu->Caption()));
                    button->setPopupMode(QToolButton::InstantPopup);
                    auto* menu = new QMenu(button);
                    add_items(menu, item.items);
                    button->setMenu(menu);
                    tb->addWidget(button);
                } else if (item.command) {
                    auto c = item.command;
                    QAction* a = tb->addAction(QString::fromStdString(c->Caption()));
                    a->setToolTip(QString::fromStdString(c->Tooltip()));
                    QObject::connect(a, &QAction::triggered, [c] { click(c); });
                }
            }
            it = toolbars_.emplace(bar.get(), tb).first;
        }
        it->second->show();
    }
    void hide_bar(const ao::HostCommandBarRef& bar)
    {
        bar->Hide();
        if (auto it = toolbars_.find(bar.get()); it != toolbars_.end()) it->second->hide();
    }

    ao::MxApplication& app_;
    MapCanvas* canvas_;
    std::map<ao::HostCommandBar*, QToolBar*> toolbars_;
};

} // namespace

void Show_Window(const platform::ModalWindow& window)
{
    QDialog d;
    d.setWindowTitle(QString::fromStdString(window.caption));
    auto* layout = new QVBoxLayout(&d);
    for (const auto& c : window.controls)
        if (c.visible && !c.text.empty()) layout->addWidget(new QLabel(QString::fromStdString(c.text)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    layout->addWidget(buttons);
    d.exec();
}

int Run_View(ao::MxApplication& app, std::function<void()>* raise)
{
    HostWindow w(app);
    w.resize(800, 600);
    w.show();
    if (raise) *raise = [&w] {
        w.raise();
        w.activateWindow();
    };
    const int status = QApplication::exec();
    if (raise) *raise = nullptr;
    return status;
}

} // namespace maphost
