// The settings dialog as far as it is built: start-up's repair of the
// stored field definition lists and the projection options; the dialog
// itself comes later and is never visible until then.
#include "main/app/properties.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/table/table.h"

namespace app {
namespace {

class PropertiesSeam : public PropertiesDialog {
public:
    explicit PropertiesSeam(frmMain& main) : main_(main) {}
    void SetFieldSettings(const std::string& type) override { flxgrd::Fields_Repair(main_.settings(), type); }
    void optEPSG_Click() override
    {
        option_ = Option::EPSG;
        main_.coords().LoadProjections("epsg");
    }
    void optESRI_Click() override
    {
        option_ = Option::ESRI;
        main_.coords().LoadProjections("esri");
    }
    void optArcMap_Click() override { option_ = Option::ArcMap; }
    void Show(int) override {}
    bool optEPSG() const override { return option_ == Option::EPSG; }

private:
    enum class Option { None, EPSG, ESRI, ArcMap };
    frmMain& main_;
    Option option_ = Option::None;
};

} // namespace

std::unique_ptr<PropertiesDialog> make_properties_dialog(frmMain& main)
{
    return std::make_unique<PropertiesSeam>(main);
}

} // namespace app
