// The About box drawn with Qt: shown modally over the main window.
#include "main/app/frm_about.h"
#include "main/views/view_guard.h"
#include "main/views/frm_about_view.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace app {

namespace {
QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
} // namespace

void Show_About_Modal(frmAbout& about, QWidget* parent)
{
    QDialog dlg(parent);
    dlg.setObjectName("frmAbout");
    dlg.setWindowTitle(q(about.window.caption));
    auto* grid = new QGridLayout(&dlg);
    auto* title = new QLabel(q(about.lblTitle.caption));
    QFont f = title->font();
    f.setPointSize(f.pointSize() * 2);
    title->setFont(f);
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(new QLabel(q(about.lblVersionLabel.caption)), 1, 0);
    grid->addWidget(new QLabel(q(about.lblVersion.caption).replace("\r\n", "\n")), 1, 1);
    grid->addWidget(new QLabel(q(about.lblPathLabel.caption)), 2, 0);
    grid->addWidget(new QLabel(q(about.lblPath.caption)), 2, 1);
    auto* text = new QPlainTextEdit(q(about.tbxText.caption).replace("\r\n", "\n"));
    text->setReadOnly(true);
    grid->addWidget(text, 3, 0, 1, 2);
    auto* disclaimer = new QLabel(q(about.lblDisclaimer.caption));
    disclaimer->setWordWrap(true);
    grid->addWidget(disclaimer, 4, 0, 1, 2);
    auto* ok = new QPushButton(q(about.cmdOK.caption));
    auto* sys = new QPushButton(q(about.cmdSysInfo.caption));
    grid->addWidget(ok, 5, 1);
    grid->addWidget(sys, 6, 1);
    connect_guarded("frmAbout", ok, &QPushButton::clicked, &dlg, [&] {
        about.cmdOK_Click();
        dlg.accept();
    });
    connect_guarded("frmAbout", sys, &QPushButton::clicked, &dlg, [&] { about.cmdSysInfo_Click(); });
    ok->setDefault(true);
    dlg.exec();
}

} // namespace app
