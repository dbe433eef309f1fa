#include "main/views/gps_status_view.h"
#include "main/views/view_guard.h"

#include "main/app/form.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace app {

namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

const DialogControl* find(const Form& f, const char* name)
{
    for (const DialogControl& c : f.controls())
        if (c.name == name) return &c;
    return nullptr;
}

// The close box goes to the form, which decides whether the window hides.
class ChooserDialog : public QDialog {
public:
    ChooserDialog(Form& form, QWidget* parent) : QDialog(parent), form_(form) {}

protected:
    void closeEvent(QCloseEvent* e) override
    {
        e->ignore();
        form_.Close();
    }
    void reject() override { form_.Close(); }

private:
    Form& form_;
};

} // namespace

void Bind_GPSStatus_View(Form& chooser, QWidget* parent)
{
    auto* dlg = new ChooserDialog(chooser, parent);
    dlg->setObjectName(q(chooser.Name()));
    auto* grid = new QGridLayout(dlg);
    auto* status = new QLabel;
    auto* caption = new QLabel;
    auto* list = new QComboBox;
    auto* connect = new QPushButton;
    auto* cancel = new QPushButton;
    grid->addWidget(status, 0, 0, 1, 3);
    grid->addWidget(caption, 1, 0, 1, 3);
    grid->addWidget(list, 2, 0, 1, 3);
    grid->addWidget(connect, 3, 1);
    grid->addWidget(cancel, 3, 2);

    connect_guarded(chooser.Name(), connect, &QPushButton::clicked, dlg, [&chooser] { chooser.Click("cmdConnect"); });
    connect_guarded(chooser.Name(), cancel, &QPushButton::clicked, dlg, [&chooser] { chooser.Click("cmdCancel"); });
    connect_guarded(chooser.Name(), list, &QComboBox::activated, dlg,
                     [&chooser, list](int) { chooser.SetText("cboGPSUnits", list->currentText().toStdString()); });

    QPointer<QDialog> alive(dlg);
    chooser.on_changed = [&chooser, alive, status, caption, list, connect, cancel] {
        if (!alive) return;
        alive->setWindowTitle(q(chooser.Caption()));
        auto put = [&](QWidget* w, const char* name) {
            const DialogControl* c = find(chooser, name);
            if (!c) return;
            w->setEnabled(c->enabled);
            w->setToolTip(q(c->tooltip));
            if (auto* l = qobject_cast<QLabel*>(w)) l->setText(q(c->caption).replace("\r\n", "\n"));
            if (auto* b = qobject_cast<QPushButton*>(w)) b->setText(q(c->caption));
        };
        put(status, "lblStatus");
        put(caption, "lblGPSUnits");
        put(connect, "cmdConnect");
        put(cancel, "cmdCancel");
        if (const DialogControl* c = find(chooser, "cboGPSUnits")) {
            QSignalBlocker quiet(list);
            list->clear();
            for (const std::string& item : c->items) list->addItem(q(item));
            list->setCurrentIndex(c->ListIndex);
            list->setEnabled(c->enabled);
            list->setToolTip(q(c->tooltip));
        }
        alive->setVisible(chooser.Visible());
    };
    QObject::connect(dlg, &QObject::destroyed, dlg, [&chooser] { chooser.on_changed = nullptr; });
    chooser.on_changed();
}

} // namespace app
