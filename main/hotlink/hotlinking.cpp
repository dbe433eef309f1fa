// The hotlinking subsystem as the main window reaches it: the hotlinking
// window and its match properties dialog, registered by name, and the
// imaging server they and the world files share.
#include "main/hotlink/hotlink.h"

#include "main/app/frm_main.h"
#include "main/hotlink/frm_hotlinking.h"
#include "main/hotlink/frm_time_calibrate.h"
#include "main/hotlink/matching.h"

namespace hotlink {
namespace {

class HotlinkWindows : public Hotlinking {
public:
    explicit HotlinkWindows(app::frmMain& main)
        : main_(main), server_(main.dialogs(), main.program_folder()), window_(main, server_)
    {
        main.register_form("frmHotlinking", [this]() -> app::Form& { return window_; });
        main.register_window("frmHotlinking", [this] { return window_.Loaded(); }, [this] { window_.Form_Unload(); });
        frmTimeCalibrate& dialog = window_.TimeCalibrate();
        main.register_form("frmTimeCalibrate", [&dialog]() -> app::Form& { return dialog; });
        main.register_window("frmTimeCalibrate", [&dialog] { return dialog.Loaded(); },
                             [&dialog] { dialog.Form_Unload(); });
    }

    void show_frmHotlinking() override { window_.Show(); }
    bool frmTimeCalibrate_Visible() const override { return window_.Loaded() && calibrate().Visible(); }
    void frmTimeCalibrate_SetGPS(const std::string& date, const std::string& time) override
    {
        window_.TimeCalibrate().SetGPS(date, time);
    }
    const platform::Grid* msfgTable_Active(std::string& folder) const override
    {
        if (!window_.Loaded() || main_.state().active_window != window_.Name()) return nullptr;
        folder = window_.folder();
        return &window_.msfgTable;
    }
    bool getImageDimensions(const std::string& path, int& width, int& height) override
    {
        return server_.getImageDimensions(path, width, height);
    }

private:
    const frmTimeCalibrate& calibrate() const { return const_cast<frmHotlinking&>(window_).TimeCalibrate(); }

    app::frmMain& main_;
    ImagingServer server_;
    frmHotlinking window_;
};

} // namespace

std::unique_ptr<Hotlinking> make_hotlinking(app::frmMain& main) { return std::make_unique<HotlinkWindows>(main); }

} // namespace hotlink
