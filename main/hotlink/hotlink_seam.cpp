// Photo hotlinking as far as it is built: the window does not exist yet;
// the imaging server measures photos for the world files.
#include "main/hotlink/hotlink.h"

#include "main/app/frm_main.h"
#include "main/hotlink/matching.h"

namespace hotlink {
namespace {

class HotlinkSeam : public Hotlinking {
public:
    explicit HotlinkSeam(app::frmMain& main) : server_(main.dialogs(), main.program_folder()) {}
    void show_frmHotlinking() override {}
    bool getImageDimensions(const std::string& path, int& width, int& height) override
    {
        return server_.getImageDimensions(path, width, height);
    }

private:
    ImagingServer server_;
};

} // namespace

std::unique_ptr<Hotlinking> make_hotlinking(app::frmMain& main) { return std::make_unique<HotlinkSeam>(main); }

} // namespace hotlink
