// What trekfold-probe prints of the transfer state.
#include "tests/main/app/rig.h"

#include "main/app/form.h"
#include "main/app/frm_info.h"
#include "main/transfer/garmin_usb.h"
#include "main/transfer/probe/probe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using apptest::Rig;
namespace probe = transfer::probe;

TEST(Probe, MenusAndControlsAfterStateChanges)
{
    Rig r(false);
    r.load();
    auto menus = probe::menus(r.main)["menus"];
    EXPECT_EQ(menus["mnuLoad"], (probe::Json{{"enabled", true}, {"checked", false}}));
    EXPECT_EQ(menus["mnuWUpload"]["enabled"], false);
    EXPECT_EQ(menus["mnuPort(1)"]["checked"], true);

    EXPECT_EQ(probe::controls(r.main, 3), (probe::Json{{"controls", 3}}));
    EXPECT_EQ(probe::menus(r.main)["menus"]["mnuWDownload"]["enabled"], true);
    auto main = probe::window(r.main, "FRMMAIN");
    EXPECT_EQ(main["window"], "frmMain");
    EXPECT_EQ(main["StatusBar1"], (probe::Json{"Connected", "", ""}));
    EXPECT_EQ(main["controls"]["optWpt"]["value"], true);
    EXPECT_EQ(main["controls"]["Label1(3)"]["text"], "Alt");
    probe::controls(r.main, 5);
    EXPECT_EQ(probe::window(r.main, "frmMain")["controls"]["optTrk"]["enabled"], false);
}

TEST(Probe, InfoWindowIsShownWithoutLoadingIt)
{
    Rig r(false);
    auto info = probe::window(r.main, "frminfo");
    EXPECT_EQ(info["loaded"], false);
    EXPECT_FALSE(r.main.frmInfo_loaded());
    EXPECT_EQ(info["caption"], "Garmin Info");
    EXPECT_EQ(info["controls"]["lblMode1"]["text"], "Garmin");

    probe::controls(r.main, 1);
    info = probe::window(r.main, "frmInfo");
    EXPECT_EQ(info["loaded"], true);
    EXPECT_EQ(info["visible"], false);
    EXPECT_EQ(info["controls"]["lblFormat1"]["text"], "Formats");
    EXPECT_EQ(probe::window(r.main, "frmNone")["error"], "no such window");
}

TEST(Probe, SelectStoresWhatTheSelectionChangeStores)
{
    Rig r(false);
    r.load();
    for (int i = 0; i < 5; ++i) r.main.menu_Click("cmdAddRec");
    EXPECT_EQ(probe::select(r.main, 4, 2), (probe::Json{{"select", {{"first", 2}, {"last", 4}, {"count", 3}}}}));
    EXPECT_EQ(r.main.state().selection_count, 3);
    EXPECT_EQ(r.main.StatusBar1[2], "3 of 5 Selected");
    EXPECT_EQ(r.main.MSFlexGrid1.ColSel(), r.main.MSFlexGrid1.Cols() - 1);
}

TEST(Probe, SymbolsAndMassStorage)
{
    Rig r(false);
    r.load();
    auto symbols = probe::symbols(r.main);
    EXPECT_EQ(symbols["d103"]["8196"], 15);
    EXPECT_EQ(symbols["d1xx"]["6"], 0);

    apptest::TempDir dir;
    auto none = probe::massstorage(r.main, dir.path);
    EXPECT_EQ(none["LoadGPS"], false);
    EXPECT_EQ(r.main.state().GPS_MassStorageUnit, nullptr);

    std::filesystem::create_directories(dir.path + "/Garmin");
    std::ofstream(dir.path + "/Garmin/GarminDevice.xml")
        << "<Device><Model><Description>Unit</Description></Model><MassStorageMode/></Device>";
    auto unit = probe::massstorage(r.main, dir.path);
    EXPECT_EQ(unit["LoadGPS"], true);
    EXPECT_EQ(unit["Description"], "Unit");
    EXPECT_EQ(unit["Drive"], "");
    std::vector<std::string> keys;
    for (const auto& [k, v] : unit.items()) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"LoadGPS", "UploadLocation", "DownloadLocation", "Description", "Version",
                                              "Drive", "PartNumber", "ID", "RegistrationCode"}));
    ASSERT_NE(r.main.state().GPS_MassStorageUnit, nullptr);
    EXPECT_EQ(r.main.state().GPS_MassStorageUnit->Description, "Unit");
}

namespace {

// The smallest window driven by control name: a combo with a hint, a check
// box and a menu array.
class TwoControlForm : public app::Form {
public:
    TwoControlForm()
    {
        app::DialogControl combo;
        combo.name = "cboUnits";
        combo.kind = app::DialogControl::Combo;
        combo.tooltip = "Pick one";
        combo.items = {"A", "B"};
        combo.text = "B";
        app::DialogControl check;
        check.name = "chkKeep";
        check.kind = app::DialogControl::Check;
        check.caption = "Keep";
        check.value = true;
        check.enabled = false;
        controls_ = {combo, check};
        app::MenuItem file;
        file.name = "mnuFile";
        file.caption = "&File";
        for (int i = 0; i < 2; ++i) {
            app::MenuItem size;
            size.name = "mnuSize";
            size.caption = "Size";
            size.index = i;
            size.checked = i == 1;
            file.children.push_back(size);
        }
        menus_ = {file};
    }
    std::string Name() const override { return "frmTwo"; }
    std::string Caption() const override { return "Two"; }
    bool Loaded() const override { return true; }
    bool Visible() const override { return false; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    const std::vector<app::MenuItem>& menus() const override { return menus_; }
    Result Click(const std::string&, int) override { return NoControl; }
    Result SetValue(const std::string&, bool) override { return NoControl; }
    Result SetText(const std::string&, const std::string&) override { return NoControl; }
    void Close() override {}

private:
    std::vector<app::DialogControl> controls_;
    std::vector<app::MenuItem> menus_;
};

} // namespace

TEST(Probe, RegisteredWindowsPrintTheirControlsAndMenus)
{
    Rig r(false);
    TwoControlForm form;
    r.main.register_form("frmTwo", [&form]() -> app::Form& { return form; });
    auto w = probe::window(r.main, "frmTwo");
    EXPECT_EQ(w["caption"], "Two");
    EXPECT_EQ(w["loaded"], true);
    EXPECT_EQ(w["visible"], false);
    EXPECT_EQ(w["controls"]["cboUnits"]["items"], (probe::Json{"A", "B"}));
    EXPECT_EQ(w["controls"]["cboUnits"]["text"], "B");
    EXPECT_EQ(w["controls"]["cboUnits"]["hint"], "Pick one");
    EXPECT_EQ(w["controls"]["chkKeep"]["value"], true);
    EXPECT_EQ(w["controls"]["chkKeep"]["enabled"], false);
    EXPECT_FALSE(w["controls"]["chkKeep"].contains("items"));
    EXPECT_EQ(w["menus"]["mnuSize(1)"], (probe::Json{{"enabled", true}, {"checked", true}}));
    EXPECT_EQ(w["menus"]["mnuSize(0)"]["checked"], false);
    EXPECT_TRUE(w["menus"].contains("mnuFile"));
}
