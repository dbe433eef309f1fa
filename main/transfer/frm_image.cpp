#include "main/transfer/frm_image.h"
#include "main/app/run_time_error.h"

#include "main/app/frm_main.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/settings/settings.h"
#include "platform/settings/stored_file.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/printer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>

namespace transfer {

using platform::VbError;

namespace {

constexpr int kTwips = 15; // twips per pixel
const char* const kSizes[3] = {"Show &1X Size", "Show &2X Size", "Show &3X Size"};
const char* const kIntervals[5] = {"Once per Request", "Every 15 secs", "Every 30 secs", "Every 45 secs",
                                   "Every minute"};
const char* const kRotations[3] = {"Rotate 90\u00b0 &Right", "Rotate 90\u00b0 &Left", "Rotate 180\u00b0"};

app::DialogControl make_control(const char* name, app::DialogControl::Kind kind, const char* caption, int width,
                                int height, bool visible)
{
    app::DialogControl c;
    c.name = name;
    c.kind = kind;
    c.caption = caption;
    c.width = width;
    c.height = height;
    c.visible = visible;
    return c;
}

app::MenuItem item(const char* name, const char* caption, int index = -1)
{
    app::MenuItem m;
    m.name = name;
    m.caption = caption;
    m.index = index;
    return m;
}

app::MenuItem* find_item(std::vector<app::MenuItem>& items, const std::string& name, int index)
{
    for (app::MenuItem& m : items) {
        if (m.name == name && m.index == index) return &m;
        if (app::MenuItem* c = find_item(m.children, name, index)) return c;
    }
    return nullptr;
}

bool has_name(const std::vector<app::MenuItem>& items, const std::string& name)
{
    for (const app::MenuItem& m : items)
        if (m.name == name || has_name(m.children, name)) return true;
    return false;
}

// Every pixel of `src` as a zoom × zoom block.
platform::Image enlarge(const platform::Image& src, int zoom)
{
    platform::Image out;
    if (src.empty()) return out;
    out.width = src.width * zoom;
    out.height = src.height * zoom;
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    const std::size_t row = std::size_t(out.width);
    for (int y = 0; y < src.height; ++y) {
        std::uint32_t* first = out.pixels.data() + std::size_t(y) * zoom * row;
        const std::uint32_t* s = src.pixels.data() + std::size_t(y) * std::size_t(src.width);
        std::uint32_t* d = first;
        for (int x = 0; x < src.width; ++x, d += zoom) std::fill(d, d + zoom, s[x]);
        for (int k = 1; k < zoom; ++k) std::memcpy(first + k * row, first, row * sizeof(std::uint32_t));
    }
    return out;
}

platform::Image turn(const platform::Image& src, int index)
{
    const int w = src.width, h = src.height;
    platform::Image out;
    out.width = index == 2 ? w : h;
    out.height = index == 2 ? h : w;
    out.pixels.resize(src.pixels.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Where the source pixel (x, y) lands.
            int tx = w - 1 - x, ty = h - 1 - y; // half turn
            if (index == 0) tx = h - 1 - y, ty = x;
            if (index == 1) tx = y, ty = w - 1 - x;
            out.pixels[std::size_t(ty) * std::size_t(out.width) + std::size_t(tx)] = src.at(x, y);
        }
    return out;
}

void put_u16(std::string& out, std::uint32_t v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
void put_u32(std::string& out, std::uint32_t v)
{
    put_u16(out, v & 0xFFFF);
    put_u16(out, v >> 16);
}

} // namespace

std::string Bitmap_File(const platform::Image& picture)
{
    const std::uint32_t stride = (std::uint32_t(picture.width) * 3 + 3) & ~3u;
    const std::uint32_t image_bytes = stride * std::uint32_t(picture.height);
    std::string out;
    out.reserve(54 + image_bytes);
    out += "BM";
    put_u32(out, 54 + image_bytes);
    put_u32(out, 0);
    put_u32(out, 54);
    put_u32(out, 40);
    put_u32(out, std::uint32_t(picture.width));
    put_u32(out, std::uint32_t(picture.height));
    put_u16(out, 1);
    put_u16(out, 24);
    put_u32(out, 0); // BI_RGB
    put_u32(out, image_bytes);
    put_u32(out, 3780); // 96 pixels an inch
    put_u32(out, 3780);
    put_u32(out, 0);
    put_u32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        const std::size_t start = out.size();
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = picture.at(x, y);
            out += char(p & 0xFF);
            out += char((p >> 8) & 0xFF);
            out += char((p >> 16) & 0xFF);
        }
        out.append(stride - (out.size() - start), '\0');
    }
    return out;
}

frmImage::frmImage(app::frmMain& main) : main_(main), timer3_(main.pump().make_timer())
{
    using K = app::DialogControl;
    controls_ = {make_control("picImage", K::Picture, "", 0, 0, false),
                 make_control("picSized", K::Picture, "", 0, 0, true),
                 make_control("pbProgress", K::Label, "0", 2400, 255, false),
                 make_control("lblLoading", K::Label, "Loading Image ...", 1500, 255, false)};
    // The timer's handler under the last guard: an error it lets through is a box.
    timer3_->on_timer([this] { app::run_guarded(main_.dialogs(), "frmImage.Timer3_Timer", [this] { Timer3_Timer(); }); });
    reset_menus();
}

frmImage::~frmImage() = default;

void frmImage::reset_menus()
{
    app::MenuItem file = item("mnuFile", "&File");
    file.children.push_back(item("mnuDownload", "&Download GPS Screen Image"));
    app::MenuItem interval = item("mnuSetInterval", "&Set Download Interval");
    for (int i = 0; i < 5; ++i) interval.children.push_back(item("mnuInterval", kIntervals[i], i));
    file.children.push_back(interval);
    file.children.push_back(item("mnuOnTop", "Keep this window on top"));
    app::MenuItem size = item("mnuImageSize", "Image Size");
    for (int i = 0; i < 3; ++i) size.children.push_back(item("mnuSize", kSizes[i], i));
    file.children.push_back(size);
    app::MenuItem rotate = item("mnuRotate", "Rotate");
    for (int i = 0; i < 3; ++i) rotate.children.push_back(item("mnuRot", kRotations[i], i));
    file.children.push_back(rotate);
    file.children.push_back(item("mnuSep1", "-"));
    file.children.push_back(item("mnuSaveFile", "Save Image to File"));
    file.children.push_back(item("mnuSave", "Cop&y Image to Clipboard"));
    file.children.push_back(item("mnuPrint", "&Print Image"));
    file.children.push_back(item("mnuSep2", "-"));
    file.children.push_back(item("mnuExit", "E&xit"));
    menus_ = {file};
}

app::DialogControl& frmImage::control(const std::string& name)
{
    for (app::DialogControl& c : controls_)
        if (c.name == name) return c;
    throw std::out_of_range("frmImage has no control " + name);
}

void frmImage::run(const std::string& procedure, const std::function<void()>& handler)
{
    main_.run_trapped_titled("frmImage." + procedure, handler);
    changed();
}

// ---------------------------------------------------------------- life

void frmImage::Form_Load()
{
    main_.state().screen_window_open = true;
    loaded_ = visible_ = true;
    changed();
    main_.pump().run_pending();
    // A stored size other than "0", "1" or "2" reads as the default.
    std::string stored = main_.settings().GetSetting("image", "size", "2");
    if (stored != "0" && stored != "1" && stored != "2") stored = "2";
    for (app::MenuItem* m : {find_item(menus_, "mnuSize", 0), find_item(menus_, "mnuSize", 1),
                             find_item(menus_, "mnuSize", 2)})
        m->checked = std::to_string(m->index) == stored;
    frame_width = view_frame_width;
    frame_height = view_frame_height;
    Center();
    changed();
}

void frmImage::Form_Unload()
{
    if (!loaded_) return;
    main_.state().screen_window_open = false;
    timer3_->set_enabled(false);
    loaded_ = visible_ = topmost_ = false;
    arriving_ = false;
    // The next load starts as designed: no interval, not on top, no picture.
    reset_menus();
    picImage_ = picSized_ = {};
    for (app::DialogControl& c : controls_)
        if (c.name != "picImage" && c.name != "picSized") c.visible = false;
    caption_ = "GPS Display";
    changed();
}

void frmImage::Center()
{
    Left = main_.screen_width / 2 - Width / 2;
    Top = main_.screen_height / 2 - Height / 2;
}

// ---------------------------------------------------------------- pictures

void frmImage::ShowImage(const brenvik::Picture& picture)
{
    if (picture.Width <= 0 || picture.Height <= 0 ||
        picture.Pixels.size() != std::size_t(picture.Width) * std::size_t(picture.Height))
        throw VbError(481, "frmImage.ShowImage", "Invalid picture");
    picSized_ = platform::Image{picture.Width, picture.Height, picture.Pixels};
    picImage_ = picSized_;
    if (picture.Height < 150) mnuSize_Click(1);
    resizeImage();
    if (main_.garmin && main_.garmin->Product_Data().Product_ID == 129) mnuRot_Click(2);
    fit();
    caption_ = "GPS Display";
    visible_ = true;
    changed();
}

int frmImage::zoom() const
{
    int zoom = 3;
    for (const app::MenuItem& m : menus_.front().children)
        if (m.name == "mnuImageSize")
            for (const app::MenuItem& s : m.children)
                if (s.checked) zoom = s.index + 1;
    return zoom;
}

void frmImage::resizeImage()
{
    const int z = zoom();
    picSized_ = enlarge(picImage_, z);
    fit();
    caption_ = "GPS Display " + std::to_string(z) + "X";
    changed();
    Center();
}

void frmImage::rotateImage(int index)
{
    if (index < 0 || index > 2 || picSized_.empty()) return;
    picSized_ = turn(picSized_, index);
}

void frmImage::fit()
{
    app::DialogControl& sized = control("picSized");
    sized.width = picSized_.width * kTwips;
    sized.height = picSized_.height * kTwips;
    app::DialogControl& image = control("picImage");
    image.width = picImage_.width * kTwips;
    image.height = picImage_.height * kTwips;
    Width = sized.width + frame_width;
    Height = sized.height + frame_height;
}

// ---------------------------------------------------------------- menus

void frmImage::mnuSize_Click(int index)
{
    // Errors are passed over: the size stays as it was.
    try {
        for (int i = 0; i < 3; ++i) find_item(menus_, "mnuSize", i)->checked = i == index;
        main_.settings().SaveSetting("image", "size", std::to_string(index));
        resizeImage();
    } catch (...) {
    }
}

void frmImage::mnuRot_Click(int index)
{
    MousePointer = platform::vbHourglass;
    struct Restore {
        int& pointer;
        ~Restore() { pointer = platform::vbDefault; }
    } restore{MousePointer};
    rotateImage(index);
    fit();
}

void frmImage::mnuInterval_Click(int index)
{
    timer3_->set_enabled(false);
    for (int i = 0; i < 5; ++i) find_item(menus_, "mnuInterval", i)->checked = i == index;
    if (index >= 1 && index <= 4) {
        timer3_->set_interval_ms(index * 15000);
        timer3_->set_enabled(true);
    }
}

void frmImage::mnuOnTop_Click()
{
    app::MenuItem* m = find_item(menus_, "mnuOnTop", -1);
    m->checked = !m->checked;
    topmost_ = m->checked;
}

platform::Image frmImage::client_area() const
{
    platform::Image page;
    page.width = std::max(0, (Width - frame_width) / kTwips);
    page.height = std::max(0, (Height - frame_height) / kTwips);
    page.pixels.assign(std::size_t(page.width) * std::size_t(page.height), 0xFFFFFFFFu);
    for (int y = 0; y < std::min(page.height, picSized_.height); ++y)
        for (int x = 0; x < std::min(page.width, picSized_.width); ++x)
            page.pixels[std::size_t(y) * std::size_t(page.width) + std::size_t(x)] = picSized_.at(x, y);
    return page;
}

void frmImage::mnuPrint_Click()
{
    std::string reason;
    platform::Image page = client_area();
    if (page.empty()) throw VbError(482, "frmImage.mnuPrint_Click", "Printer error: the window holds no picture");
    if (!main_.printer().PrintPage(page, reason))
        throw VbError(482, "frmImage.mnuPrint_Click", "Printer error: " + reason);
}

void frmImage::mnuSave_Click()
{
    platform::Clipboard& clipboard = main_.clipboard();
    clipboard.Clear();
    clipboard.SetImage(picSized_);
    main_.dialogs().MsgBox("Image copied to clipboard. Do paste in destination app.");
}

void frmImage::mnuSaveFile_Click()
{
    platform::OpenFileRequest request;
    request.filter = "Bitmap (*.bmp)|*.bmp";
    request.default_ext = "bmp";
    std::optional<std::string> path = main_.dialogs().GetSaveFileName(request);
    if (!path || path->empty()) return;
    std::error_code ec;
    if (std::filesystem::exists(*path, ec) &&
        main_.dialogs().MsgBox("File already exists.  Would you like to overwrite it?", platform::vbYesNo, "Save") ==
            platform::vbNo)
        return;
    if (picSized_.empty()) throw VbError(481, "frmImage.mnuSaveFile_Click", "Invalid picture");
    std::string reason;
    if (!platform::save_stored_file(*path, Bitmap_File(picSized_), reason, 0644))
        throw VbError(75, "frmImage.mnuSaveFile_Click", "Path/File access error: " + reason);
}

// ---------------------------------------------------------------- transfer

void frmImage::Request_Started()
{
    arriving_ = true;
    packets_at_request_ = packets_;
    last_packet_us_ = main_.pump().clock().now_us();
}

void frmImage::show_progress()
{
    const app::DialogControl& sized = control("picSized");
    app::DialogControl& bar = control("pbProgress");
    bar.left = sized.width / 2 - bar.width / 2;
    bar.top = sized.height / 2 - bar.height / 2;
    bar.visible = true;
    app::DialogControl& label = control("lblLoading");
    label.left = sized.width / 2 - label.width / 2;
    label.top = sized.height / 2 - 50 - label.height / 2;
    label.visible = true;
    changed();
}

void frmImage::hide_progress()
{
    control("pbProgress").visible = false;
    control("lblLoading").visible = false;
    changed();
}

void frmImage::Focus()
{
    focus_wanted = true;
    changed();
}

void frmImage::Request_Returned()
{
    if (packets_ == packets_at_request_) arriving_ = false;
}

void frmImage::Display_Packet()
{
    ++packets_;
    last_packet_us_ = main_.pump().clock().now_us();
}

void frmImage::Progress(std::int16_t pct)
{
    control("pbProgress").caption = std::to_string(std::clamp<int>(pct, 0, 100));
    Display_Packet();
    if (pct >= 100 || pct < 0) arriving_ = false;
    changed();
}

void frmImage::Timer3_Timer()
{
    const app::AppState& s = main_.state();
    // A request clears the receiver's input: never inside a download or
    // upload, nor while the screen before is still coming in.
    if (s.transfer_busy || s.transfer_running) return;
    const std::int64_t interval_us = timer3_->interval_ms() * 1000;
    if (arriving_ && main_.pump().clock().now_us() - last_packet_us_ < interval_us) return;
    mnuDDownload_Click(main_);
}

// ---------------------------------------------------------------- by name

app::Form::Result frmImage::Click(const std::string& name, int index)
{
    app::MenuItem* m = find_item(menus_, name, index);
    if (!m || m->separator() || !m->children.empty()) return has_name(menus_, name) ? NoItem : NoControl;
    if (!m->enabled) return Disabled;
    if (!loaded_ && name != "mnuExit") Form_Load();
    if (name == "mnuDownload") {
        mnuDDownload_Click(main_);
    } else if (name == "mnuExit") {
        Form_Unload();
    } else if (name == "mnuSize") {
        mnuSize_Click(index);
    } else {
        run(name + "_Click", [&] {
            if (name == "mnuInterval") mnuInterval_Click(index);
            else if (name == "mnuOnTop") mnuOnTop_Click();
            else if (name == "mnuRot") mnuRot_Click(index);
            else if (name == "mnuPrint") mnuPrint_Click();
            else if (name == "mnuSave") mnuSave_Click();
            else if (name == "mnuSaveFile") mnuSaveFile_Click();
        });
    }
    changed();
    return Done;
}

app::Form::Result frmImage::SetValue(const std::string&, bool) { return NoControl; }
app::Form::Result frmImage::SetText(const std::string&, const std::string&) { return NoControl; }

// ---------------------------------------------------------------- main window

frmImage& Screen_Window(app::frmMain& main)
{
    auto* form = dynamic_cast<frmImage*>(main.form("frmImage"));
    if (!form) throw VbError(91, "frmImage", "Object variable or With block variable not set");
    return *form;
}

void mnuDDownload_Click(app::frmMain& main)
{
    main.run_trapped("mnuDDownload_Click", [&] {
        app::AppState& s = main.state();
        if (!s.screen_capture) {
            main.dialogs().MsgBox("This screenshot functionality is not available for your model of Garmin.");
            return;
        }
        s.record_counter = 0;
        frmImage& w = Screen_Window(main);
        if (!w.Loaded()) w.Form_Load();
        w.show_progress();
        if (!main.garmin) throw VbError(91, "frmMain.mnuDDownload_Click", "Object variable or With block variable not set");
        w.Request_Started();
        main.garmin->Request_Display();
        w.Request_Returned();
        try {
            w.Focus();
        } catch (...) {
        }
    });
}

void garmin_ReceiveImage(app::frmMain& main, std::int16_t pct, const brenvik::PictureRef& image)
{
    main.run_trapped("Garmin.ReceiveImage", [&] {
        frmImage& w = Screen_Window(main);
        if (!w.Loaded()) w.Form_Load();
        w.Progress(pct);
        if (pct >= 100 || pct < 0) {
            // A capture that ended without a picture leaves the one shown.
            if (image && !image->Pixels.empty()) w.ShowImage(*image);
            w.hide_progress();
            main.cursor().set_pointer(platform::vbDefault);
        }
    });
}

} // namespace transfer
