// Photo hotlinking as the main window reaches it: the hotlinking window.
#pragma once

#include <memory>
#include <string>

namespace app { class frmMain; }
namespace platform { class Grid; }

namespace hotlink {

class Hotlinking {
public:
    virtual ~Hotlinking() = default;
    // Shows the photo hotlinking window without blocking.
    virtual void show_frmHotlinking() = 0;
    // The time calibration window: whether it is visible, and its GPS date
    // ("MM/dd/yyyy") and time ("HH:mm:ss") boxes.
    virtual bool frmTimeCalibrate_Visible() const { return false; }
    virtual void frmTimeCalibrate_SetGPS(const std::string& date, const std::string& time)
    {
        (void)date, (void)time;
    }
    // The hotlinking window's table and current folder while that window
    // is loaded and active; nullptr otherwise.
    virtual const platform::Grid* msfgTable_Active(std::string& folder) const
    {
        (void)folder;
        return nullptr;
    }
    // frmHotlinking.getImageDimensions: the pixel size of an image file as
    // the imaging server measures it; false when the server does not
    // identify the file (no box) or cannot be created (a box).
    virtual bool getImageDimensions(const std::string& path, int& width, int& height)
    {
        (void)path, (void)width, (void)height;
        return false;
    }
};

std::unique_ptr<Hotlinking> make_hotlinking(app::frmMain& main);

} // namespace hotlink
