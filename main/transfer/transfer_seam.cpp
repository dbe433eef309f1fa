// GPS transfer as far as it is built: the menu states, the port menu
// following the computer's serial ports and the symbol tables; connecting,
// the receiver search and the menu commands come later.
#include "main/transfer/transfer.h"

#include "main/app/frm_main.h"
#include "platform/serial/portmap.h"

namespace transfer {
namespace {

class TransferSeam : public GpsTransfer {
public:
    explicit TransferSeam(app::frmMain& main) : main_(main) {}

    void Set_Controls(std::int16_t state) override { transfer::Set_Controls(main_, state); }

    void Ports_Enable() override
    {
        for (app::MenuItem* m : main_.menus().array("mnuPort"))
            if (m->index > 0) m->enabled = main_.ports().Port_Exists(m->index);
        main_.changed(app::ChangeMenus);
    }

    void Load_d103WptSymbols() override { transfer::Load_d103WptSymbols(main_.state()); }
    void Load_d1xxWptSymbols() override { transfer::Load_d1xxWptSymbols(main_.state()); }

    void mnuOpen_Click() override {}
    void GPS_Find(bool&) override {}
    void menu_Click(const std::string&, int) override {}

private:
    app::frmMain& main_;
};

} // namespace

std::unique_ptr<GpsTransfer> make_gps_transfer(app::frmMain& main) { return std::make_unique<TransferSeam>(main); }

} // namespace transfer
