// GPS transfer as far as it is built: the menu state is remembered, the
// port menu follows the computer's serial ports and the symbol tables are
// filled; connecting, the receiver search and the menu commands come later.
#include "main/transfer/transfer.h"

#include "main/app/frm_main.h"
#include "platform/serial/portmap.h"

namespace transfer {
namespace {

// Waypoint symbol codes in the order of the D103 symbol numbers 0 to 15.
const std::int32_t kD103Codes[16] = {18, 10, 8, 170, 7, 150, 0, 19, 177, 14, 178, 151, 179, 171, 156, 8196};

class TransferSeam : public GpsTransfer {
public:
    explicit TransferSeam(app::frmMain& main) : main_(main) {}

    void Set_Controls(std::int16_t state) override { main_.state().ui_state = state; }

    void Ports_Enable() override
    {
        for (app::MenuItem* m : main_.menus().array("mnuPort"))
            if (m->index > 0) m->enabled = main_.ports().Port_Exists(m->index);
        main_.changed(app::ChangeMenus);
    }

    void Load_d103WptSymbols() override
    {
        for (int i = 0; i < 16; ++i) main_.state().d103_symbols.Add(i, std::to_string(kD103Codes[i]));
    }

    void Load_d1xxWptSymbols() override
    {
        for (int i = 0; i < 16; ++i) main_.state().d1xx_symbols.Add(kD103Codes[i], std::to_string(i));
    }

    void mnuOpen_Click() override {}
    void GPS_Find(bool&) override {}
    void menu_Click(const std::string&, int) override {}

private:
    app::frmMain& main_;
};

} // namespace

std::unique_ptr<GpsTransfer> make_gps_transfer(app::frmMain& main) { return std::make_unique<TransferSeam>(main); }

} // namespace transfer
