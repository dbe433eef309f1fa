#include "main/views/layer_selection_view.h"

#include "main/app/frm_main.h"
#include "main/links/layer_selection.h"
#include "main/views/control_view.h"
#include "platform/events/events.h"
#include "platform/ui/dialogs.h"

#include <QGroupBox>
#include <QListWidget>

namespace app {

namespace {
QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
} // namespace

LayerSelectionView::LayerSelectionView(links::frmLandviewLayerSelection& form, QWidget* owner)
    : FormView(form, owner)
{
    setWindowFlags(Qt::Dialog);
    setWindowModality(Qt::ApplicationModal);
    setObjectName(q(form.Name()));
    build();
    sync();
}

void LayerSelectionView::build()
{
    for (const DialogControl& c : form_.controls()) {
        QWidget* w = clickable(c);
        if (c.kind == DialogControl::Frame) {
            w = new QGroupBox(this);
            w->lower();
        } else if (c.kind == DialogControl::List) {
            auto* l = new QListWidget(this);
            l->setFont(QFont("Arial"));
            connect(l, &QListWidget::currentRowChanged, this, [this](int row) {
                if (!applying_ && row >= 0) form_.Click("ActiveLayers", row);
            });
            connect(l, &QListWidget::itemDoubleClicked, this, [this] { form_.ActiveLayers_DblClick(); });
            w = l;
        }
        if (!w) continue;
        w->setObjectName(q(c.name));
        widgets_[c.name] = w;
    }
}

void LayerSelectionView::sync()
{
    applying_ = true;
    setWindowTitle(q(form_.Caption()));
    for (const DialogControl& c : form_.controls()) {
        QWidget* w = widget(c.name);
        if (!w) continue;
        draw_control(w, c, c.top);
        if (auto* l = qobject_cast<QListWidget*>(w)) {
            QStringList items;
            for (const std::string& item : c.items) items << q(item);
            QStringList shown;
            for (int i = 0; i < l->count(); ++i) shown << l->item(i)->text();
            if (shown != items) {
                l->clear();
                l->addItems(items);
            }
            l->setCurrentRow(c.ListIndex);
        }
    }
    resize(4800 / kTwipsPerPixel, 3750 / kTwipsPerPixel);
    if (form_.Visible() != isVisible()) setVisible(form_.Visible());
    applying_ = false;
}

void bind_layer_selection_view(frmMain& main, QWidget* owner)
{
    auto* chooser = dynamic_cast<links::frmLandviewLayerSelection*>(main.form("frmLandviewLayerSelection"));
    if (!chooser) return;
    bind_form_view<LayerSelectionView>(*chooser, owner);
    chooser->show_modal = [&main](links::frmLandviewLayerSelection& f) {
        platform::Dialogs& dialogs = main.dialogs();
        if (dialogs.quiet()) {
            dialogs.quiet_window(f.Caption());
            return f.Close();
        }
        // Shown by the view while visible; the answer hides it (or the
        // program ends under it).
        platform::EventPump& pump = main.pump();
        auto answered = [&] { return !f.Visible() || main.ended(); };
        while (!answered()) pump.wait_until(answered, pump.clock().now_us() + 1'000'000);
    };
}

} // namespace app
