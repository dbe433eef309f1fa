// The program's composition: the main window with every neighbour
// subsystem installed. The subsystems depend on the main window's face;
// only this composition knows them all.
#pragma once

#include "main/app/frm_main.h"

namespace app {

// Installs the settings dialog, GPS transfer, GIS links, coordinates, file
// formats, real time and hotlinking into a new main window (before its
// Form_Load).
void install_subsystems(frmMain& main);

} // namespace app
