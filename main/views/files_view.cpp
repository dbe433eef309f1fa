// The File menu's small modal windows drawn with Qt. Every control carries
// its dialog's control name as object name; choices go straight into the
// dialog's state, OK and Cancel through its handlers.
#include "main/views/files_view.h"
#include "main/views/view_guard.h"

#include "platform/ui/dialogs.h"

#include "main/app/frm_main.h"
#include "main/files/files.h"
#include "main/files/table_files.h"

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <string>
#include <utility>
#include <vector>

namespace app {

namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(name);
    return w;
}

// OK (the default button) and, when `cancel` is given, Cancel, right-aligned.
QHBoxLayout* button_row(QPushButton* ok, QPushButton* cancel = nullptr)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    if (cancel) row->addWidget(cancel);
    ok->setDefault(true);
    return row;
}

struct Option {
    const char* name;    // "optLine"
    const char* caption; // its word, also its tag
    bool* value;
};

// frmShape and frmFeatureType: a label over three exclusive options and OK.
// OK hides the dialog with its tag "True"; the close box unloads it.
template <class Dialog>
void show_options(Dialog& f, const char* form_name, const std::vector<Option>& options, QWidget* parent)
{
    QDialog d(parent);
    d.setObjectName(form_name);
    d.setWindowTitle(q(f.Caption));
    auto* lay = new QVBoxLayout(&d);
    lay->addWidget(named(new QLabel(q(f.Label1)), "Label1"));
    for (const Option& o : options) {
        auto* b = named(new QRadioButton(QString::fromUtf8(o.caption)), o.name);
        b->setChecked(*o.value);
        QObject::connect(b, &QRadioButton::toggled, [&options, o](bool on) {
            if (!on) return;
            for (const Option& other : options) *other.value = other.value == o.value;
        });
        lay->addWidget(b);
    }
    auto* ok = named(new QPushButton("OK"), "cmdOK");
    lay->addLayout(button_row(ok));
    connect_guarded(d.objectName().toStdString(), ok, &QPushButton::clicked, &d, [&] {
        f.cmdOK_Click();
        d.accept();
    });
    if (d.exec() != QDialog::Accepted) f.close();
}

} // namespace

void show_shape_dialog(files::frmShape& f, QWidget* parent)
{
    const std::vector<Option> options{
        {"optPolygon", "Polygon", &f.optPolygon}, {"optLine", "Line", &f.optLine}, {"optPoint", "Point", &f.optPoint}};
    show_options(f, "frmShape", options, parent);
}

void show_feature_type_dialog(files::frmFeatureType& f, QWidget* parent)
{
    const std::vector<Option> options{{"optWaypoint", "Waypoint", &f.optWaypoint},
                                      {"optTrack", "Track", &f.optTrack},
                                      {"optRoute", "Route", &f.optRoute}};
    show_options(f, "frmFeatureType", options, parent);
}

void show_fields_dialog(files::frmFields& f, QWidget* parent)
{
    QDialog d(parent);
    d.setObjectName("frmFields");
    d.setWindowTitle(q(f.Caption));
    auto* lay = new QVBoxLayout(&d);
    lay->addWidget(named(new QLabel(q(f.Label1)), "Label1"));

    // Each list as a label and a pick-only combo box, in its frame.
    auto add_list = [&](QFormLayout* form, files::FieldList& list, const char* label, const char* combo) {
        auto* box = named(new QComboBox, combo);
        for (const std::string& item : list.items) box->addItem(q(item));
        box->setCurrentIndex(list.ListIndex);
        QObject::connect(box, &QComboBox::currentIndexChanged, [&list](int i) { list.ListIndex = i; });
        auto* l = named(new QLabel(q(list.label)), label);
        form->addRow(l, box);
        l->setVisible(list.visible);
        box->setVisible(list.visible);
    };
    auto* description = named(new QGroupBox(q(f.cpDescription)), "cpDescription");
    auto* dform = new QFormLayout(description);
    add_list(dform, f.cbxIdent, "lblIdent", "cbxIdent");
    add_list(dform, f.cbxComment, "lblComment", "cbxComment");
    lay->addWidget(description);
    auto* spatial = named(new QGroupBox(q(f.cpSpatial)), "cpSpatial");
    auto* sform = new QFormLayout(spatial);
    add_list(sform, f.cbxLat, "lblLat", "cbxLat");
    add_list(sform, f.cbxLong, "lblLong", "cbxLong");
    add_list(sform, f.cbxY_Proj, "lblY_Proj", "cbxY_Proj");
    add_list(sform, f.cbxX_Proj, "lblX_Proj", "cbxX_Proj");
    spatial->setVisible(f.cpSpatial_visible);
    lay->addWidget(spatial);

    auto* ok = named(new QPushButton(q(f.cmdOK_Caption)), "cmdOK");
    auto* cancel = named(new QPushButton(q(f.cmdCancel_Caption)), "cmdCancel");
    lay->addLayout(button_row(ok, cancel));
    connect_guarded(d.objectName().toStdString(), ok, &QPushButton::clicked, &d, [&] {
        f.cmdOK_Click();
        d.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    // Cancel and the close box alike answer "Cancel": nothing is loaded.
    if (d.exec() != QDialog::Accepted) f.cmdCancel_Click();
}

void show_world_files_dialog(files::TableFiles& tf, QWidget* parent)
{
    files::frmWorldFiles& f = tf.world_files_dialog();
    QDialog d(parent);
    d.setObjectName("frmWorldFiles");
    d.setWindowTitle(q(f.Caption));
    auto* lay = new QVBoxLayout(&d);
    lay->addWidget(named(new QLabel(q(f.Label1)), "Label1"));
    auto* width = named(new QLineEdit(q(f.tbxWidth)), "tbxWidth");
    lay->addWidget(width);
    lay->addWidget(named(new QLabel(q(f.Label2)), "Label2"));
    auto* location = named(new QComboBox, "cboLocation");
    for (const std::string& item : f.cboLocation_items) location->addItem(q(item));
    location->setCurrentText(q(f.cboLocation));
    lay->addWidget(location);
    auto* ok = named(new QPushButton("OK"), "cmdOK");
    auto* cancel = named(new QPushButton("Cancel"), "cmdCancel");
    lay->addLayout(button_row(ok, cancel));
    ok->setEnabled(f.cmdOK_Enabled);

    connect_guarded("frmWorldFiles", width, &QLineEdit::textChanged, &d, [&](const QString& text) {
        f.tbxWidth_Change(text.toStdString());
        ok->setEnabled(f.cmdOK_Enabled);
    });
    QObject::connect(location, &QComboBox::currentTextChanged,
                     [&](const QString& text) { f.cboLocation = text.toStdString(); });
    connect_guarded(d.objectName().toStdString(), ok, &QPushButton::clicked, &d, [&] {
        tf.frmWorldFiles_cmdOK_Click();
        d.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &d, &QDialog::reject);
    if (d.exec() != QDialog::Accepted) f.Form_Unload();
}

void bind_file_views(frmMain& main, QWidget* parent)
{
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&main.files());
    if (!fe) return;
    // In quiet mode none of them waits: each is logged and cancelled.
    platform::Dialogs& dialogs = main.dialogs();
    fe->show_shape = [parent, &dialogs](files::frmShape& f) {
        if (!dialogs.quiet()) return show_shape_dialog(f, parent);
        dialogs.quiet_window(f.Caption);
        f.close();
    };
    fe->show_feature_type = [parent, &dialogs](files::frmFeatureType& f) {
        if (!dialogs.quiet()) return show_feature_type_dialog(f, parent);
        dialogs.quiet_window(f.Caption);
        f.close();
    };
    fe->table_files().show_fields = [parent, &dialogs](files::frmFields& f) {
        if (!dialogs.quiet()) return show_fields_dialog(f, parent);
        dialogs.quiet_window(f.Caption);
        f.cmdCancel_Click();
    };
    fe->show_world_files = [fe, parent] { show_world_files_dialog(fe->table_files(), parent); };
}

} // namespace app
