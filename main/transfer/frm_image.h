// The receiver screen window frmImage: the picture of the receiver's
// display, fetched on demand or at an interval, shown 1, 2 or 3 times
// enlarged, rotated, kept on top, printed, copied and saved as a bitmap.
// The main window's "Garmin Screen Shot" asks for a screen
// (mnuDDownload_Click); the control's ReceiveImage events move the
// progress bar and hand over the finished picture (garmin_ReceiveImage).
#pragma once

#include "device/protocols/records.h"
#include "main/app/form.h"
#include "platform/ui/image.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace app { class frmMain; }
namespace platform { class Timer; }

namespace transfer {

class frmImage : public app::Form {
public:
    explicit frmImage(app::frmMain& main);
    ~frmImage() override;

    std::string Name() const override { return "frmImage"; }
    std::string Caption() const override { return caption_; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    const std::vector<app::MenuItem>& menus() const override { return menus_; }
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string& name, bool checked) override;
    Result SetText(const std::string& name, const std::string& text) override;
    void Close() override { Form_Unload(); }

    void Form_Load();
    void Form_Unload();
    // Shows a finished screen: enlarged (2X below 150 pixels high), turned
    // by half a turn for product 129, the window fitted around it.
    void ShowImage(const brenvik::Picture& picture);
    // Redraws picSized from picImage at the checked size (each source pixel
    // a zoom × zoom block).
    void resizeImage();
    // Turns picSized: 0 a quarter turn clockwise, 1 counter-clockwise, 2 a
    // half turn.
    void rotateImage(int index);
    void Center();
    void mnuSize_Click(int index);
    void mnuRot_Click(int index);
    void mnuInterval_Click(int index);
    void mnuOnTop_Click();
    void mnuPrint_Click();
    void mnuSave_Click();
    void mnuSaveFile_Click();
    // The interval timer's tick: a new request, unless a transfer holds the
    // link or the screen before is still arriving.
    void Timer3_Timer();
    // The progress of a screen under way (the control's ReceiveImage).
    void Progress(std::int16_t pct);
    // A display packet came (the screen under way is still arriving).
    void Display_Packet();
    // A screen request is going out, and has returned: a request that
    // brought no display packet at all leaves nothing arriving.
    void Request_Started();
    void Request_Returned();
    // The progress bar and loading label shown centred on picSized, or
    // hidden again.
    void show_progress();
    void hide_progress();
    // The window comes to the front.
    void Focus();

    // A requested screen has not yet come whole.
    bool arriving() const { return arriving_; }
    const platform::Image& picImage() const { return picImage_; }
    const platform::Image& picSized() const { return picSized_; }
    const platform::Timer& Timer3() const { return *timer3_; }
    bool topmost() const { return topmost_; }
    // The window's place and size in twips; the frame (outer minus inner
    // size) measured at load.
    int Left = 0, Top = 0, Width = 4800, Height = 3600;
    int frame_width = 0, frame_height = 0;
    // The view: the frame it measures (twips) before the window loads.
    int view_frame_width = 8 * 15, view_frame_height = 54 * 15;
    // The window's mouse pointer (vbDefault or vbHourglass).
    int MousePointer = 0;
    // Asked to come to the front (the view does it and clears it).
    bool focus_wanted = false;

private:
    app::DialogControl& control(const std::string& name);
    void reset_menus();
    void fit();
    int zoom() const;
    platform::Image client_area() const;
    void run(const std::string& procedure, const std::function<void()>& handler);

    app::frmMain& main_;
    std::string caption_ = "GPS Display";
    bool loaded_ = false, visible_ = false, topmost_ = false;
    std::vector<app::DialogControl> controls_;
    std::vector<app::MenuItem> menus_;
    platform::Image picImage_, picSized_;
    std::unique_ptr<platform::Timer> timer3_;
    // A requested screen has not yet come whole; when its last display
    // packet (or the request) came.
    bool arriving_ = false;
    std::int64_t last_packet_us_ = 0;
    std::uint64_t packets_ = 0, packets_at_request_ = 0;
};

// The screen window of the main window (made with the GPS transfer).
frmImage& Screen_Window(app::frmMain& main);

// "Garmin Screen Shot": one screen requested from the receiver.
void mnuDDownload_Click(app::frmMain& main);
// The control's screen-capture progress: pct, and the picture when whole
// (100 or more; a negative pct ends the capture too).
void garmin_ReceiveImage(app::frmMain& main, std::int16_t pct, const brenvik::PictureRef& image);

// A picture as a 24-bit Windows bitmap file (bottom row first, rows padded
// to four bytes).
std::string Bitmap_File(const platform::Image& picture);

} // namespace transfer
