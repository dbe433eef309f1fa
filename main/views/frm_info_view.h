// The Qt face of the receiver information window ("Garmin Info"): what the
// receiver said about itself, shown modally over the main window.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace app {

class frmMain;
struct InfoWindow;

// Shows the window modally over `parent`, drawn from `info` as it stands;
// returns when it is closed (close box or Escape).
void show_info_modal(const InfoWindow& info, QWidget* parent);

// Makes the main window's modal show of "frmInfo" open it over `parent`;
// in quiet mode the window is only logged.
void bind_info_view(frmMain& main, QWidget* parent);

// A protocol listing as its lines: the receiver's listing is built of
// 10-character pieces that stand as lines in a fixed-pitch font; any other
// text is one line.
QStringList listing_lines(const QString& caption);

} // namespace app
