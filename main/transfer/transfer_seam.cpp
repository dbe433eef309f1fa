// GPS transfer as the main window reaches it: the menu states, the port
// menu following the computer's serial ports, the symbol tables, the
// download, upload and link commands, connecting and the receiver search
// with its chooser, and the control's events.
#include "main/transfer/transfer.h"

#include "main/app/frm_main.h"
#include "main/transfer/discovery.h"
#include "main/transfer/frm_image.h"
#include "platform/serial/portmap.h"

namespace transfer {
namespace {

class TransferSeam : public GpsTransfer {
public:
    explicit TransferSeam(app::frmMain& main)
        : main_(main), chooser_(std::make_shared<frmGPSStatus>(main.state().GPS_UnitList))
    {
        // The closures own the chooser, so a seam replaced later leaves
        // nothing dangling behind it.
        auto chooser = chooser_;
        main.register_form("frmGPSStatus", [chooser]() -> app::Form& { return *chooser; });
        main.register_window("frmGPSStatus", [chooser] { return chooser->Loaded(); }, [chooser] { chooser->Unload(); });
        // The screen window belongs to the main window, whichever seam
        // reaches it: a seam made again finds the one there.
        if (main.form("frmImage")) return;
        auto image = std::make_shared<frmImage>(main);
        main.register_form("frmImage", [image]() -> app::Form& { return *image; });
        main.register_window("frmImage", [image] { return image->Loaded(); }, [image] { image->Form_Unload(); });
    }

    void Set_Controls(std::int16_t state) override { transfer::Set_Controls(main_, state); }

    void Ports_Enable() override
    {
        for (app::MenuItem* m : main_.menus().array("mnuPort"))
            if (m->index > 0) m->enabled = main_.ports().Port_Exists(m->index);
        main_.changed(app::ChangeMenus);
    }

    void Load_d103WptSymbols() override { transfer::Load_d103WptSymbols(main_.state()); }
    void Load_d1xxWptSymbols() override { transfer::Load_d1xxWptSymbols(main_.state()); }

    void mnuOpen_Click() override { transfer::mnuOpen_Click(main_); }
    void GPS_Find(bool& usbOnly) override { transfer::GPS_Find(main_, usbOnly); }
    void menu_Click(const std::string& name, int index) override
    {
        static const std::pair<const char*, void (*)(app::frmMain&)> kCommands[] = {
            {"mnuWDownload", mnuWDownload_Click}, {"mnuTDownload", mnuTDownload_Click},
            {"mnuRDownload", mnuRDownload_Click}, {"mnuWUpload", mnuWUpload_Click},
            {"mnuTUpload", mnuTUpload_Click},     {"mnuRUpload", mnuRUpload_Click},
            {"mnuClose", mnuClose_Click},         {"mnuReset", mnuReset_Click},
            {"mnuGInfo", mnuGInfo_Click},         {"mnuDDownload", mnuDDownload_Click},
        };
        if (name == "mnuBaud") return mnuBaud_Click(main_, index);
        if (name == "mnuPort") return mnuPort_Click(main_, index);
        if (name == "mnuAutoGPSConnect") return mnuAutoGPSConnect_Click(main_);
        for (auto [n, command] : kCommands)
            if (name == n) return command(main_);
    }

    void garmin_Receive(const app::Packet& packet) override { transfer::garmin_Receive(main_, packet); }
    void garmin_cError(std::int16_t& cErr, const std::string& message, const app::Packet& packet) override
    {
        transfer::garmin_cError(main_, cErr, message, packet);
    }
    void garmin_ReceiveCounts(std::int16_t w, std::int16_t p, std::int16_t r, std::int16_t t) override
    {
        transfer::garmin_ReceiveCounts(main_, w, p, r, t);
    }
    void garmin_ReceiveImage(std::int16_t pct, const brenvik::PictureRef& image) override
    {
        transfer::garmin_ReceiveImage(main_, pct, image);
    }

private:
    app::frmMain& main_;
    std::shared_ptr<frmGPSStatus> chooser_;
};

} // namespace

std::unique_ptr<GpsTransfer> make_gps_transfer(app::frmMain& main) { return std::make_unique<TransferSeam>(main); }

} // namespace transfer
