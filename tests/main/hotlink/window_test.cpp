// The hotlinking window driven as a user drives it, over copies of the
// EXIF sample photos and the imaging server of the build.
#include "main/hotlink/frm_hotlinking.h"

#include "main/app/frm_main.h"
#include "main/hotlink/hotlink.h"
#include "main/program/compose.h"
#include "main/table/table.h"
#include "platform/events/fake_events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;

struct Window : testing::Test {
    std::string dir = [] {
        std::string t = fs::temp_directory_path().string() + "/hotwin-XXXXXX";
        return std::string(::mkdtemp(t.data()));
    }();
    std::string photos = dir + "/photos";
    platform::Settings settings{dir + "/trekfold.ini"};
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports{&settings, [](const std::string&) { return std::optional<std::string>(); }, dir + "/dev",
                            dir + "/sys"};
    app::frmMain main{{settings, dialogs, cursor, pump, ports}, TREKFOLD_BINARY_DIR "/bin"};
    hotlink::frmHotlinking* w = nullptr;

    Window()
    {
        app::install_subsystems(main);
        fs::create_directories(photos);
        for (const char* n : {"Canon_40D.jpg", "DSCN0010.jpg", "DSCN0012.jpg", "Nikon_D70.jpg"})
            fs::copy_file(TREKFOLD_TESTDATA_DIR "/exif/" + std::string(n), photos + "/" + n);
        fs::copy_file(TREKFOLD_TESTDATA_DIR "/exif/DSCN0010.jpg", photos + "/IMG_0001.JPG");
        w = dynamic_cast<hotlink::frmHotlinking*>(main.form("frmHotlinking"));
        main.hotlink().show_frmHotlinking();
        w->SetText("Dir1", photos);
    }
    ~Window() override { fs::remove_all(dir); }

    std::vector<std::string> column(int c) const
    {
        std::vector<std::string> out;
        for (int r = 1; r < w->msfgTable.Rows(); ++r) out.push_back(w->msfgTable.TextMatrix(r, c));
        return out;
    }
    std::string slurp(const std::string& name) const
    {
        std::ifstream in(photos + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(Window, ListsPhotosInNtfsOrderWithTheirDates)
{
    EXPECT_EQ(main.state().active_window, "frmHotlinking");
    EXPECT_THAT(column(0), ElementsAre("Canon_40D.jpg", "DSCN0010.jpg", "DSCN0012.jpg", "IMG_0001.JPG", "Nikon_D70.jpg"));
    EXPECT_THAT(column(1), ElementsAre("2008:05:30 15:56:01", "2008:10:22 16:28:39", "2008:10:22 16:29:49",
                                       "2008:10:22 16:28:39", "2008:03:15 09:52:01"));
    EXPECT_EQ(w->SetText("cboFileType", "*.tif"), app::Form::Done);
    EXPECT_THAT(column(0), ElementsAre(""));
    EXPECT_FALSE(w->control("chkPreview").enabled);
    EXPECT_EQ(w->SetText("cboFileType", "*.png"), app::Form::NoItem);

    w->SetText("Dir1", dir + "/missing");
    ASSERT_TRUE(dialogs.last());
    EXPECT_EQ(dialogs.last()->title, "frmHotlinking.Dir1_Change");
    EXPECT_EQ(dialogs.last()->text, "Error 76: Path not found. Source: Trekfold");
    EXPECT_EQ(w->msfgTable.Rows(), 2);
}

TEST_F(Window, RenameKeepsTheExtensionAndNeverReplaces)
{
    dialogs.input("trip.jpeg");
    w->CellClick("msfgTable", 4, 0, 4, 0, true);
    EXPECT_EQ(w->msfgTable.TextMatrix(4, 0), "trip.JPG");
    EXPECT_TRUE(fs::exists(photos + "/trip.JPG"));

    const std::string before = slurp("DSCN0012.jpg");
    dialogs.input("DSCN0012");
    w->CellClick("msfgTable", 2, 0, 2, 0, true);
    EXPECT_EQ(dialogs.last()->text, "Error 58: File already exists. Source: Trekfold");
    EXPECT_EQ(dialogs.last()->title, "frmHotlinking.msfgTable_dblClick");
    EXPECT_EQ(dialogs.last()->style, platform::vbCritical);
    EXPECT_EQ(w->msfgTable.TextMatrix(2, 0), "DSCN0010.jpg");
    EXPECT_EQ(slurp("DSCN0012.jpg"), before);
    EXPECT_EQ(slurp("DSCN0010.jpg"), slurp("trip.JPG"));

    // A name that would leave the folder is refused.
    dialogs.input("sub/out");
    w->CellClick("msfgTable", 2, 0, 2, 0, true);
    EXPECT_EQ(dialogs.last()->text, "Error 52: Bad file name or number. Source: Trekfold");
    EXPECT_TRUE(fs::exists(photos + "/DSCN0010.jpg"));
    // So is one that would hide the photo from the next listing.
    dialogs.input(".secret");
    w->CellClick("msfgTable", 2, 0, 2, 0, true);
    EXPECT_EQ(dialogs.last()->text, "Error 52: Bad file name or number. Source: Trekfold");
    EXPECT_EQ(dialogs.last()->title, "frmHotlinking.msfgTable_dblClick");
    EXPECT_EQ(w->msfgTable.TextMatrix(2, 0), "DSCN0010.jpg");
    EXPECT_TRUE(fs::exists(photos + "/DSCN0010.jpg"));
    EXPECT_FALSE(fs::exists(photos + "/.jpg"));
}

TEST_F(Window, PreviewFitsTheBoxOrRefusesBigFiles)
{
    w->CellClick("msfgTable", 2, 0, 2, 0, false); // DSCN0010.jpg, 640 x 480
    const platform::Image& p = w->pictPreview();
    const auto& box = w->control("pictPreview");
    EXPECT_EQ(p.width * 3, p.height * 4);
    EXPECT_TRUE(p.width == box.width / 15 || p.height == box.height / 15);

    std::ofstream(photos + "/big.jpg", std::ios::binary) << std::string(6'000'000, 'x');
    std::ofstream(photos + "/a.tif", std::ios::binary) << "II*";
    w->SetText("Dir1", photos);
    w->CellClick("msfgTable", 1, 1, 1, 1, false);
    w->CellClick("msfgTable", 1, 0, 1, 0, false); // big.jpg
    EXPECT_EQ(dialogs.last()->text, "File too big to preview");
    EXPECT_EQ(dialogs.last()->style, platform::vbExclamation);
    EXPECT_FALSE(w->control("chkPreview").value);
    EXPECT_TRUE(w->pictPreview().empty());
}

TEST_F(Window, CopyReadsThePhotoListOnlyWhileItIsActive)
{
    w->CellClick("msfgTable", 1, 0, 2, 1, false);
    w->Click("cmdCopy");
    EXPECT_EQ(main.clipboard().GetText(), photos + "/Canon_40D.jpg\t2008:05:30 15:56:01\r\n" + photos +
                                              "/DSCN0010.jpg\t2008:10:22 16:28:39\r\n");
    main.menu_Click("cmdCopy");
    EXPECT_EQ(main.state().active_window, "frmMain");
    std::string folder;
    EXPECT_EQ(main.hotlink().msfgTable_Active(folder), nullptr);
}

TEST_F(Window, OptionsAndStoredValues)
{
    w->Click("optNonDate");
    EXPECT_FALSE(w->control("cmdSetCalibration").enabled);
    EXPECT_EQ(w->Click("lblTimeMatch"), app::Form::Disabled);
    w->Click("optBestMatch");
    EXPECT_TRUE(w->control("lblTimeCalibration").enabled);

    w->control("lblTimeMatch").caption = "0:30:0";
    w->control("lblTimeCalibration").caption = "-5";
    w->Close();
    EXPECT_FALSE(w->Loaded());
    EXPECT_EQ(settings.GetSetting("hotlink", "threshold", ""), "0:30:0");
    EXPECT_EQ(settings.GetSetting("hotlink", "calibration", ""), "-5");
    main.hotlink().show_frmHotlinking();
    EXPECT_EQ(w->control("lblTimeCalibration").caption, "-5");
}

} // namespace
