// The settings dialog as far as it is built: start-up's repair of the
// stored field definition lists; the projection options and the dialog
// itself come later.
#include "main/app/properties.h"

#include "main/app/frm_main.h"
#include "main/table/table.h"

namespace app {
namespace {

class PropertiesSeam : public PropertiesDialog {
public:
    explicit PropertiesSeam(frmMain& main) : main_(main) {}
    void SetFieldSettings(const std::string& type) override { flxgrd::Fields_Repair(main_.settings(), type); }
    void optEPSG_Click() override {}
    void optESRI_Click() override {}
    void optArcMap_Click() override {}
    void Show(int) override {}

private:
    frmMain& main_;
};

} // namespace

std::unique_ptr<PropertiesDialog> make_properties_dialog(frmMain& main)
{
    return std::make_unique<PropertiesSeam>(main);
}

} // namespace app
