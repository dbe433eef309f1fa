#include "main/views/image_view.h"

#include "main/app/frm_main.h"
#include "main/views/view_guard.h"
#include "main/transfer/frm_image.h"
#include "platform/ui/printer.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>

#include <map>

namespace app {

namespace {

constexpr int kTwipsPerPixel = 15;

// The Ctrl shortcuts of the window's menu items.
const std::map<std::pair<std::string, int>, const char*> kShortcuts = {
    {{"mnuSize", 0}, "Ctrl+A"}, {{"mnuSize", 1}, "Ctrl+B"}, {{"mnuSize", 2}, "Ctrl+C"},
    {{"mnuRot", 0}, "Ctrl+R"},  {{"mnuRot", 1}, "Ctrl+L"},
};

class ImageView : public QMainWindow {
public:
    explicit ImageView(transfer::frmImage& form) : form_(form)
    {
        picture_ = new QLabel(this);
        picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setCentralWidget(picture_);
        progress_ = new QProgressBar(picture_);
        loading_ = new QLabel(picture_);
        loading_->setFont(QFont("Arial Narrow"));
        for (const MenuItem& top : form_.menus())
            build_menus(menuBar()->addMenu(QString::fromStdString(top.caption)), top.children);
        form_.on_changed = [this] { sync(); };
    }
    ~ImageView() override { form_.on_changed = nullptr; }

protected:
    void closeEvent(QCloseEvent* e) override
    {
        if (form_.Loaded()) form_.Close();
        e->accept();
    }

private:
    void build_menus(QMenu* into, const std::vector<MenuItem>& items)
    {
        for (const MenuItem& m : items) {
            if (m.separator()) {
                into->addSeparator();
                continue;
            }
            if (!m.children.empty()) {
                build_menus(into->addMenu(QString::fromStdString(m.caption)), m.children);
                continue;
            }
            QAction* a = into->addAction(QString::fromStdString(m.caption));
            a->setCheckable(true);
            a->setChecked(m.checked);
            a->setEnabled(m.enabled);
            if (auto it = kShortcuts.find({m.name, m.index}); it != kShortcuts.end())
                a->setShortcut(QKeySequence(it->second));
            const std::string name = m.name;
            const int index = m.index;
            connect(a, &QAction::triggered, this, [this, name, index] {
                form_.Click(name, index);
                sync(); // the item's own check mark is the form's to set
            });
            actions_[{name, index}] = a;
        }
    }

    void sync_menus(const std::vector<MenuItem>& items)
    {
        for (const MenuItem& m : items) {
            if (auto it = actions_.find({m.name, m.index}); it != actions_.end()) {
                it->second->setChecked(m.checked);
                it->second->setEnabled(m.enabled);
            }
            sync_menus(m.children);
        }
    }

    void sync()
    {
        if (!form_.Loaded()) {
            hide();
            return;
        }
        sync_menus(form_.menus());
        setWindowTitle(QString::fromStdString(form_.Caption()));
        picture_->setPixmap(QPixmap::fromImage(platform::to_qimage(form_.picSized())));
        for (const DialogControl& c : form_.controls()) {
            QWidget* w = c.name == "pbProgress" ? static_cast<QWidget*>(progress_)
                         : c.name == "lblLoading" ? static_cast<QWidget*>(loading_)
                                                  : nullptr;
            if (!w) continue;
            w->setGeometry(c.left / kTwipsPerPixel, c.top / kTwipsPerPixel, c.width / kTwipsPerPixel,
                           c.height / kTwipsPerPixel);
            w->setVisible(c.visible);
            if (w == progress_) progress_->setValue(std::stoi(c.caption));
            else loading_->setText(QString::fromStdString(c.caption));
        }
        const bool top = form_.topmost();
        if (bool(windowFlags() & Qt::WindowStaysOnTopHint) != top) setWindowFlag(Qt::WindowStaysOnTopHint, top);
        setCursor(form_.MousePointer ? Qt::WaitCursor : Qt::ArrowCursor);
        const int inner_w = (form_.Width - form_.frame_width) / kTwipsPerPixel;
        const int inner_h = (form_.Height - form_.frame_height) / kTwipsPerPixel;
        resize(std::max(inner_w, 120), std::max(inner_h, 40) + menuBar()->sizeHint().height());
        move(form_.Left / kTwipsPerPixel, form_.Top / kTwipsPerPixel);
        if (form_.Visible()) show();
        if (form_.focus_wanted) {
            form_.focus_wanted = false;
            raise();
            activateWindow();
        }
    }

    transfer::frmImage& form_;
    QLabel* picture_;
    QProgressBar* progress_;
    QLabel* loading_;
    std::map<std::pair<std::string, int>, QAction*> actions_;
};

} // namespace

std::unique_ptr<QWidget> make_image_view(frmMain& main)
{
    auto view = std::make_unique<ImageView>(transfer::Screen_Window(main));
    set_view_error_box(view.get(), main.dialogs()); // a window of its own, owned by none
    return view;
}

} // namespace app
