#include "main/views/frm_info_view.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "platform/ui/dialogs.h"

#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace app {

namespace {

constexpr int kListingWidth = 10;

QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QLabel* label(const Control& c, QWidget* parent)
{
    auto* l = new QLabel(q(c.caption), parent);
    l->setObjectName(q(c.name));
    l->setTextFormat(Qt::PlainText); // the receiver's texts are not markup
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setVisible(c.visible);
    return l;
}

} // namespace

QStringList listing_lines(const QString& caption)
{
    if (caption.isEmpty() || caption.size() % kListingWidth != 0) return {caption};
    QStringList lines;
    for (qsizetype i = 0; i < caption.size(); i += kListingWidth) lines << caption.mid(i, kListingWidth);
    return lines;
}

void show_info_modal(const InfoWindow& info, QWidget* parent)
{
    QDialog dlg(parent);
    dlg.setObjectName("frmInfo");
    dlg.setWindowTitle(q(info.window.caption));
    auto* top = new QVBoxLayout(&dlg);

    // The unit: its product, description lines, link mode, date and time.
    auto* unit = new QGridLayout;
    unit->addWidget(label(info.lblProductID, &dlg), 0, 0);
    unit->addWidget(label(info.lblMode1, &dlg), 0, 1);
    unit->addWidget(label(info.lblGPSDesc1, &dlg), 1, 0, 1, 2);
    unit->addWidget(label(info.lblGPSDesc2, &dlg), 2, 0, 1, 2);
    unit->addWidget(label(info.lbldate, &dlg), 3, 0);
    unit->addWidget(label(info.lblTime, &dlg), 3, 1);
    top->addLayout(unit);

    // The protocol listing: three columns side by side in a fixed-pitch font.
    QFont fixed(q(info.format_font));
    fixed.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(fixed).fixedPitch()) fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto* listing = new QHBoxLayout;
    listing->setSpacing(QFontMetrics(fixed).horizontalAdvance(' ') * 2);
    for (const Control* c : {&info.lblFormat1, &info.lblFormat2, &info.lblFormat3}) {
        QLabel* l = label(*c, &dlg);
        l->setText(listing_lines(l->text()).join('\n'));
        l->setFont(fixed);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        listing->addWidget(l);
    }
    listing->addStretch(1);
    top->addLayout(listing);

    // The record counts the receiver reported.
    auto* counts = new QGridLayout;
    const std::pair<const char*, const Control*> rows[] = {{"Waypoints:", &info.lblWaypointscnt},
                                                           {"Track Points:", &info.lblTrackPointscnt},
                                                           {"Proximity Waypoints:", &info.lblProxWaypointscnt},
                                                           {"Route Points:", &info.lblRoutePointscnt}};
    int row = 0;
    for (const auto& [title, c] : rows) {
        counts->addWidget(new QLabel(title, &dlg), row, 0);
        counts->addWidget(label(*c, &dlg), row++, 1);
    }
    counts->setColumnStretch(2, 1);
    top->addLayout(counts);
    dlg.exec();
}

void bind_info_view(frmMain& main, QWidget* parent)
{
    main.on_show_modal = [&main, parent](const std::string& window) {
        if (window != "frmInfo") return;
        platform::Dialogs& dialogs = main.dialogs();
        if (dialogs.quiet()) return dialogs.quiet_window(main.frmInfo().window.caption);
        show_info_modal(main.frmInfo(), parent);
    };
}

} // namespace app
