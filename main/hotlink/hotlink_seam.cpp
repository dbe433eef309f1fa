// Photo hotlinking as far as it is built: the window does not exist yet.
#include "main/hotlink/hotlink.h"

namespace hotlink {
namespace {

class HotlinkSeam : public Hotlinking {
public:
    void show_frmHotlinking() override {}
};

} // namespace

std::unique_ptr<Hotlinking> make_hotlinking(app::frmMain&) { return std::make_unique<HotlinkSeam>(); }

} // namespace hotlink
