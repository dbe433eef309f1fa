// The receiver screen window: a screen requested, received, enlarged,
// rotated, refreshed at intervals, copied, printed and saved.
#include "tests/main/app/rig.h"

#include "main/transfer/frm_image.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/printer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using apptest::Rig;
using transfer::frmImage;

namespace {

// A w × h picture whose pixel (x, y) is 0xFF000000 | y << 12 | x.
brenvik::PictureRef picture(int w, int h)
{
    auto p = std::make_shared<brenvik::Picture>();
    p->Width = w;
    p->Height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p->Pixels.push_back(0xFF000000u | std::uint32_t(y) << 12 | std::uint32_t(x));
    return p;
}
std::uint32_t pixel(int x, int y) { return 0xFF000000u | std::uint32_t(y) << 12 | std::uint32_t(x); }

struct Screen : Rig {
    Screen()
    {
        static_cast<apptest::RecordingTransfer&>(main.transfer()).forward_menus = true;
        load();
    }
    frmImage& w() { return transfer::Screen_Window(main); }
    // A screen request answered with a whole picture.
    void shot(brenvik::PictureRef p)
    {
        garmin.on["Request_Display"] = [this, p] {
            garmin.receive(garmin.ids.at("PID_Display_Data"));
            garmin.image(50);
            garmin.image(100, p);
        };
        main.menu_Click("mnuDDownload");
    }
    int requests() { return int(std::count(log.begin(), log.end(), "garmin.Request_Display")); }
};

} // namespace

TEST(ScreenWindow, SmallScreenShowsDoubledAndSavesEveryPixelDoubled)
{
    Screen s;
    s.shot(picture(160, 100));
    frmImage& w = s.w();
    EXPECT_TRUE(s.main.state().screen_window_open);
    EXPECT_EQ(w.Caption(), "GPS Display");
    EXPECT_EQ(w.picSized().width, 320);
    EXPECT_EQ(w.picSized().height, 200);
    EXPECT_EQ(w.picImage().width, 160);
    EXPECT_EQ(s.settings.GetSetting("image", "size", ""), "1");
    EXPECT_EQ(w.Width, 320 * 15 + w.frame_width);
    EXPECT_FALSE(w.controls()[2].visible); // the progress bar, hidden once whole
    EXPECT_EQ(s.cursor.pointer(), platform::vbDefault);

    const std::string path = s.dir.path + "/screen.bmp";
    s.dialogs.file(path);
    EXPECT_EQ(w.Click("mnuSaveFile"), app::Form::Done);
    EXPECT_EQ(s.dialogs.last_open().filter, "Bitmap (*.bmp)|*.bmp");
    std::ifstream in(path, std::ios::binary);
    const std::string bmp((std::istreambuf_iterator<char>(in)), {});
    const std::size_t stride = 320 * 3;
    ASSERT_EQ(bmp.size(), 54 + stride * 200);
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(bmp[at])) | std::uint32_t(std::uint8_t(bmp[at + 1])) << 8 |
               std::uint32_t(std::uint8_t(bmp[at + 2])) << 16 | std::uint32_t(std::uint8_t(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(18), 320u);
    EXPECT_EQ(u32(22), 200u);
    EXPECT_EQ(std::uint8_t(bmp[28]), 24);
    // Screen pixel (x, y) fills the block (2x..2x+1, 2y..2y+1); rows run bottom first.
    auto bgr = [&](int x, int y) {
        const std::size_t at = 54 + std::size_t(199 - y) * stride + std::size_t(x) * 3;
        return u32(at) & 0xFFFFFF;
    };
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {318, 0}, {319, 199}, {101, 57}})
        EXPECT_EQ(bgr(x, y), pixel(x / 2, y / 2) & 0xFFFFFF) << x << "," << y;
}

TEST(ScreenWindow, TurnsAndSizesWorkOnTheUnrotatedPicture)
{
    Screen s;
    s.garmin.product.Product_ID = 129;
    s.shot(picture(160, 100));
    frmImage& w = s.w();
    // Product 129: half a turn, so the top-left pixel lands bottom-right.
    EXPECT_EQ(w.picSized().at(319, 199), pixel(0, 0));
    EXPECT_EQ(w.picSized().at(0, 0), pixel(159, 99));

    w.Click("mnuSize", 0);
    EXPECT_EQ(w.Caption(), "GPS Display 1X");
    EXPECT_EQ(w.picSized().at(0, 0), pixel(0, 0));
    EXPECT_EQ(w.picSized().width, 160);

    w.Click("mnuRot", 0);
    ASSERT_EQ(w.picSized().width, 100);
    ASSERT_EQ(w.picSized().height, 160);
    EXPECT_EQ(w.picSized().at(99, 0), pixel(0, 0));   // top-left to top-right
    EXPECT_EQ(w.picSized().at(0, 159), pixel(159, 99));
    EXPECT_EQ(w.Height, 160 * 15 + w.frame_height);
    w.Click("mnuRot", 1);
    w.Click("mnuRot", 1);
    EXPECT_EQ(w.picSized().at(0, 159), pixel(0, 0)); // net: top-left to bottom-left
    EXPECT_EQ(s.settings.GetSetting("image", "size", ""), "0");
    EXPECT_EQ(w.Click("mnuRot", 3), app::Form::NoItem);
    EXPECT_EQ(w.Click("mnuNone"), app::Form::NoControl);
}

TEST(ScreenWindow, TallScreenUsesTheStoredSizeAndAStrangeStoredSizeReadsAsThreeTimes)
{
    Screen s;
    s.settings.SaveSetting("image", "size", "7");
    s.shot(picture(100, 160));
    EXPECT_EQ(s.requests(), 1);
    EXPECT_EQ(s.w().picSized().width, 300);
    EXPECT_EQ(s.w().picSized().height, 480);
    EXPECT_EQ(s.settings.GetSetting("image", "size", ""), "7"); // nothing chose a size
    EXPECT_TRUE(s.dialogs.boxes().empty());
}

TEST(ScreenWindow, UnsupportedModelIsToldAndNothingIsRequested)
{
    Screen s;
    s.main.state().screen_capture = false;
    s.main.menu_Click("mnuDDownload");
    EXPECT_EQ(s.requests(), 0);
    ASSERT_NE(s.dialogs.last(), nullptr);
    EXPECT_EQ(s.dialogs.last()->text, "This screenshot functionality is not available for your model of Garmin.");
    EXPECT_FALSE(s.w().Loaded());
}

TEST(ScreenWindow, SavingOverAFileAsksAndNoKeepsIt)
{
    Screen s;
    s.shot(picture(8, 4));
    const std::string path = s.dir.path + "/keep.bmp";
    std::ofstream(path) << "precious";
    s.dialogs.file(path);
    s.dialogs.answer(platform::vbNo);
    s.w().Click("mnuSaveFile");
    EXPECT_EQ(s.dialogs.last()->text, "File already exists.  Would you like to overwrite it?");
    EXPECT_EQ(s.dialogs.last()->title, "Save");
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");

    s.dialogs.file(path);
    s.dialogs.answer(platform::vbYes);
    s.w().Click("mnuSaveFile");
    std::ifstream again(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}).substr(0, 2), "BM");

    s.dialogs.clear();
    s.dialogs.file("", true);
    s.w().Click("mnuSaveFile");
    EXPECT_EQ(s.dialogs.boxes().size(), 1u); // only the dialog itself

    // A folder that is not there: a box, not a failure passed over.
    s.dialogs.file(s.dir.path + "/missing/screen.bmp");
    s.w().Click("mnuSaveFile");
    ASSERT_NE(s.dialogs.last(), nullptr);
    EXPECT_EQ(s.dialogs.last()->title, "frmImage.mnuSaveFile_Click");
    EXPECT_EQ(s.dialogs.last()->text.rfind("Error #75 - Path/File access error", 0), 0u);
    EXPECT_EQ(s.dialogs.last()->icon(), platform::vbCritical);
}

TEST(ScreenWindow, IntervalRequestsAgainButNeverInsideATransfer)
{
    Screen s;
    s.shot(picture(160, 100));
    frmImage& w = s.w();
    w.Click("mnuInterval", 1);
    EXPECT_TRUE(w.Timer3().enabled());
    EXPECT_EQ(w.Timer3().interval_ms(), 15000);
    s.pump.advance(15'000'000);
    EXPECT_EQ(s.requests(), 2);

    // A download holds the link: the tick starts nothing.
    s.main.state().transfer_busy = true;
    s.pump.advance(15'000'000);
    EXPECT_EQ(s.requests(), 2);
    s.main.state().transfer_busy = false;

    // A screen still arriving, its last packet within the interval: wait.
    s.garmin.on["Request_Display"] = [&] { s.garmin.image(10); };
    s.pump.advance(15'000'000);
    EXPECT_EQ(s.requests(), 3);
    s.pump.advance(10'000'000);
    s.garmin.image(40);
    s.pump.advance(5'000'000);
    EXPECT_EQ(s.requests(), 3);
    // ... until it has been silent for a whole interval.
    s.pump.advance(15'000'000);
    EXPECT_EQ(s.requests(), 4);

    w.Click("mnuInterval", 0);
    EXPECT_FALSE(w.Timer3().enabled());
    s.pump.advance(60'000'000);
    EXPECT_EQ(s.requests(), 4);
}

TEST(ScreenWindow, ProgressAndAnEndWithoutAPicture)
{
    Screen s;
    s.garmin.on["Request_Display"] = [&] { s.garmin.image(42); };
    s.main.menu_Click("mnuDDownload");
    frmImage& w = s.w();
    EXPECT_EQ(w.controls()[2].caption, "42");
    EXPECT_TRUE(w.controls()[2].visible);
    EXPECT_TRUE(w.controls()[3].visible);
    EXPECT_TRUE(w.arriving());
    s.cursor.set_pointer(platform::vbHourglass);
    s.garmin.image(-1);
    EXPECT_FALSE(w.arriving());
    EXPECT_FALSE(w.controls()[2].visible);
    EXPECT_FALSE(w.controls()[3].visible);
    EXPECT_EQ(s.cursor.pointer(), platform::vbDefault);
    EXPECT_TRUE(w.picSized().empty());
    EXPECT_TRUE(s.dialogs.boxes().empty());

    // A picture whose pixels do not fill it is refused in the event's box.
    auto broken = picture(4, 4);
    broken->Pixels.pop_back();
    s.garmin.image(100, broken);
    ASSERT_NE(s.dialogs.last(), nullptr);
    EXPECT_EQ(s.dialogs.last()->title, "frmMain.Garmin.ReceiveImage");
    EXPECT_TRUE(w.picSized().empty());

    // A receiver that sends nothing leaves nothing arriving.
    s.garmin.on["Request_Display"] = nullptr;
    s.main.menu_Click("mnuDDownload");
    EXPECT_FALSE(w.arriving());
}

TEST(ScreenWindow, CopyPrintOnTopAndClose)
{
    Screen s;
    auto printer = std::make_unique<platform::MemoryPrinter>();
    platform::MemoryPrinter& pages = *printer;
    s.main.set_printer(std::move(printer));
    s.shot(picture(160, 100));
    frmImage& w = s.w();

    w.Click("mnuSave");
    EXPECT_EQ(s.main.clipboard().GetImage().width, 320);
    EXPECT_EQ(s.main.clipboard().GetImage().at(3, 3), pixel(1, 1));
    EXPECT_EQ(s.dialogs.last()->text, "Image copied to clipboard. Do paste in destination app.");

    w.Click("mnuPrint");
    ASSERT_EQ(pages.pages.size(), 1u);
    EXPECT_EQ(pages.pages[0].width, 320);
    EXPECT_EQ(pages.pages[0].at(319, 199), pixel(159, 99));

    w.Click("mnuOnTop");
    EXPECT_TRUE(w.topmost());
    w.Click("mnuInterval", 4);
    EXPECT_EQ(w.Timer3().interval_ms(), 60000);

    w.Click("mnuExit");
    EXPECT_FALSE(w.Loaded());
    EXPECT_FALSE(s.main.state().screen_window_open);
    EXPECT_FALSE(w.Timer3().enabled());
    EXPECT_FALSE(w.topmost());
    EXPECT_EQ(s.dialogs.boxes().size(), 1u);
}

TEST(ScreenWindow, BitmapFileLayout)
{
    // 2 × 1: red, blue. Header 54 bytes, one row of 6 bytes padded to 8.
    platform::Image p{2, 1, {0xFFFF0000u, 0xFF0000FFu}};
    const std::string expected = std::string("BM") + std::string("\x3e\0\0\0", 4) + std::string(4, '\0') +
                                 std::string("\x36\0\0\0", 4) + std::string("\x28\0\0\0", 4) +
                                 std::string("\x02\0\0\0", 4) + std::string("\x01\0\0\0", 4) +
                                 std::string("\x01\0\x18\0", 4) + std::string(4, '\0') +
                                 std::string("\x08\0\0\0", 4) + std::string("\xc4\x0e\0\0", 4) +
                                 std::string("\xc4\x0e\0\0", 4) + std::string(8, '\0') +
                                 std::string("\0\0\xff\xff\0\0\0\0", 8);
    EXPECT_EQ(transfer::Bitmap_File(p), expected);
}
