// Photo hotlinking as the main window reaches it: the hotlinking window.
#pragma once

#include <memory>
#include <string>

namespace app { class frmMain; }
namespace platform { class Dialogs; }

namespace hotlink {

class Hotlinking {
public:
    virtual ~Hotlinking() = default;
    // Shows the photo hotlinking window without blocking.
    virtual void show_frmHotlinking() = 0;
};

// frmHotlinking.getImageDimensions: the pixel size of an image file from
// its header; false (after a box) when it cannot be read.
bool getImageDimensions(platform::Dialogs& dialogs, const std::string& path, int& width, int& height);

std::unique_ptr<Hotlinking> make_hotlinking(app::frmMain& main);

} // namespace hotlink
