// Photo hotlinking as the main window reaches it: the hotlinking window.
#pragma once

#include <memory>

namespace app { class frmMain; }

namespace hotlink {

class Hotlinking {
public:
    virtual ~Hotlinking() = default;
    // Shows the photo hotlinking window without blocking.
    virtual void show_frmHotlinking() = 0;
};

std::unique_ptr<Hotlinking> make_hotlinking(app::frmMain& main);

} // namespace hotlink
