#include "main/views/picker_view.h"
#include "main/views/view_guard.h"

#include "main/table/picker.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace app {

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

QIcon icon_of(const platform::PictureRef& p)
{
    if (!p || p->width <= 0 || p->height <= 0 || p->pixels.size() < size_t(p->width) * size_t(p->height)) return {};
    QImage img(reinterpret_cast<const uchar*>(p->pixels.data()), p->width, p->height, QImage::Format_ARGB32);
    return QIcon(QPixmap::fromImage(img.copy()));
}

// The dialog's control of a name ("optSort(0)", "Frame1", ...).
const flxgrd::frmWptSelect::Control& control(const char* name)
{
    for (const auto& c : flxgrd::frmWptSelect::controls())
        if (std::string_view(c.name) == name) return c;
    return flxgrd::frmWptSelect::controls()[0];
}

template <class W>
W* made(const char* name, QWidget* parent)
{
    const auto& c = control(name);
    auto* w = new W(q(c.caption), parent);
    w->setToolTip(q(c.tooltip));
    return w;
}

} // namespace

void show_picker_dialog(flxgrd::frmWptSelect& p, const flxgrd::Table& table, QWidget* parent)
{
    QDialog d(parent);
    d.setWindowTitle(QString::fromStdString(p.Caption));
    auto* list = new QListWidget(&d);
    list->setViewMode(QListView::IconMode);
    list->setResizeMode(QListView::Adjust);
    list->setMinimumSize(420, 300);
    auto fill = [&] {
        list->clear();
        for (const auto& item : p.listView)
            list->addItem(new QListWidgetItem(icon_of(table.ImageList1().Item(long(item.icon) + 1).picture),
                                              QString::fromStdString(item.text)));
        list->setCurrentRow(p.selected);
    };
    fill();
    connect_guarded("frmWptSelect", list, &QListWidget::currentRowChanged, &d, [&](int row) {
        if (row >= 0) p.selected = row;
    });
    connect_guarded("frmWptSelect", list, &QListWidget::itemDoubleClicked, &d, [&] {
        p.listView_DblClick();
        d.accept();
    });

    auto* frame1 = made<QGroupBox>("Frame1", &d);
    auto* frame2 = made<QGroupBox>("Frame2", &d);
    auto* frame3 = made<QGroupBox>("Frame3", &d);
    auto* sort_lay = new QVBoxLayout(frame1);
    auto* id_lay = new QVBoxLayout(frame2);
    for (int i = 0; i < 2; ++i) {
        auto* sort = made<QRadioButton>(i ? "optSort(1)" : "optSort(0)", frame1);
        sort->setChecked(p.optSort[size_t(i)]);
        connect_guarded("frmWptSelect", sort, &QRadioButton::clicked, &d, [&, i] {
            p.optSort_Click(i);
            fill();
        });
        sort_lay->addWidget(sort);
        auto* id = made<QRadioButton>(i ? "optID(1)" : "optID(0)", frame2);
        id->setChecked(p.optID[size_t(i)]);
        QObject::connect(id, &QRadioButton::clicked, [&, i] { p.optID = {i == 0, i == 1}; });
        id_lay->addWidget(id);
    }
    (new QVBoxLayout(frame3))->addWidget(made<QLabel>("Label1", frame3));

    auto* buttons = new QDialogButtonBox(&d);
    buttons->addButton(made<QPushButton>("OKButton", &d), QDialogButtonBox::AcceptRole);
    buttons->addButton(made<QPushButton>("CancelButton", &d), QDialogButtonBox::RejectRole);
    connect_guarded("frmWptSelect", buttons, &QDialogButtonBox::accepted, &d, [&] {
        p.OKButton_Click();
        d.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);

    auto* side = new QVBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(frame1), static_cast<QWidget*>(frame2), static_cast<QWidget*>(frame3)})
        side->addWidget(w);
    side->addStretch();
    side->addWidget(buttons);
    auto* lay = new QHBoxLayout(&d);
    lay->addWidget(list, 1);
    lay->addLayout(side);
    if (d.exec() != QDialog::Accepted || p.visible) p.CancelButton_Click();
}

} // namespace app
