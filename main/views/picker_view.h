// The Qt view of the waypoint picker: a modal dialog drawn from
// frmWptSelect's state that hands every choice back to its handlers.
#pragma once

class QWidget;

namespace flxgrd {
class Table;
class frmWptSelect;
} // namespace flxgrd

namespace app {

// Shows the picker modally over `parent`; returns once it has answered.
void show_picker_dialog(flxgrd::frmWptSelect& picker, const flxgrd::Table& table, QWidget* parent);

} // namespace app
