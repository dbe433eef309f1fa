#include "main/app/properties.h"

#include "main/settings/frm_properties.h"

namespace app {

std::unique_ptr<PropertiesDialog> make_properties_dialog(frmMain& main)
{
    return std::make_unique<frmProperties>(main);
}

} // namespace app
