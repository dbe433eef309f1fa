// The units dialog as a window for a person: a thin view over the
// frmDataFrameUnits state, shown only where the host runs a widget
// application. Its buttons apply the form's own handlers.
#include "arcmap/detail/frm_data_frame_units.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace trekfold_arcmap {

bool Show_DataFrameUnits_View(frmDataFrameUnits& form)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    QDialog d;
    d.setWindowTitle(frmDataFrameUnits::Caption);
    auto* layout = new QFormLayout(&d);
    layout->addRow(new QLabel("Please Specify Data Frame Data Units Below:"));
    auto* units = new QComboBox;
    units->addItems({"Meters", "Feet", "Other"});
    units->setCurrentText(QString::fromStdString(form.cboDataUnits));
    auto* text = new QLineEdit(QString::fromStdString(form.tbxUnits));
    text->setEnabled(form.tbxUnits_enabled);
    layout->addRow("Data Units:", units);
    layout->addRow("Meters per Unit", text);
    auto* ok = new QPushButton("OK");
    auto* cancel = new QPushButton("Cancel");
    layout->addRow(ok, cancel);
    QObject::connect(units, &QComboBox::activated, &d, [&](int) {
        form.cboDataUnits_Click(units->currentText().toStdString());
        text->setText(QString::fromStdString(form.tbxUnits));
        text->setEnabled(form.tbxUnits_enabled);
    });
    QObject::connect(text, &QLineEdit::textEdited, &d, [&](const QString& t) {
        form.tbxUnits_Change(t.toStdString());
        if (form.tbxUnits != t.toStdString()) text->setText(QString::fromStdString(form.tbxUnits));
    });
    QObject::connect(ok, &QPushButton::clicked, &d, [&] {
        form.cmdOK_Click();
        d.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &d, [&] {
        form.cmdCancel_Click();
        d.reject();
    });
    // The close box unloads the form: no "OK" tag, so it counts as Cancel.
    if (d.exec() != QDialog::Accepted && form.visible) form.Unload();
    return true;
}

} // namespace trekfold_arcmap
