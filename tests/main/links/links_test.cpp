// The GIS links on a main window with scripted dialogs and a fake pump:
// detection from announced windows, the registry view and fake ArcMaps;
// the refresh period; the ArcView strings; ArcMap sends that report only
// what reached ArcMap.
#include "tests/main/app/rig.h"

#include "main/links/gis_links.h"
#include "main/files/files.h"
#include "main/files/shapefile.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "platform/arcobjects/arcobjects.h"
#include "platform/automation/dispatch.h"
#include "platform/windows/windows.h"

#include <gtest/gtest.h>

#include "platform/dde/dde.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <atomic>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::arcobjects::FakeArcMaps;

struct LinksRig : apptest::Rig {
    // `columns`: the settings dialog lays out the table's columns at load.
    explicit LinksRig(bool columns = false) : apptest::Rig(!columns)
    {
        ::setenv("TREKFOLD_WINDOWS_DIR", (dir.path + "/windows").c_str(), 1);
        ::setenv("TREKFOLD_DDE_DIR", (dir.path + "/dde").c_str(), 1);
        registry("");
        fakes = std::make_shared<FakeArcMaps>();
        fakes->on_app_call = [this](const platform::arcobjects::FakeCall& c) {
            calls.push_back(c.member == "Dock" ? "Dock(" + c.args[0].ToString() + ")" : c.member);
        };
        fakes->on_object_call = [this](const platform::arcobjects::FakeCall& c) {
            calls.push_back(c.member + (c.args.empty() ? "" : "(" + c.args[0].ToString() + ")"));
        };
        platform::arcobjects::Install_Source([f = fakes] { return f; });
        load();
        calls.clear();
    }
    ~LinksRig() { platform::arcobjects::Install_Source(nullptr); }
    void registry(const std::string& text)
    {
        const std::string path = dir.path + "/registry.ini";
        std::ofstream(path) << text;
        ::setenv("TREKFOLD_REGISTRY", path.c_str(), 1);
    }
    links::Links& gis() { return links->seam; }
    bool enabled(const char* menu) { return main.menus().find(menu)->enabled; }
    std::shared_ptr<FakeArcMaps> fakes;
    std::vector<std::string> calls;
};

const char* const kArcGis = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ESRI\\ArcGIS]\nRealVersion=9.2\nInstallDir=/nowhere/\n";

TEST(Links, NothingFoundLeavesTheBareCaptionAndEveryGisMenuOff)
{
    LinksRig r;
    r.gis().Refresh_Apps();
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin ");
    for (const char* m : {"mnuArcViewL", "mnuArcViewS", "mnuLandviewL", "mnuLandViewS", "mnuArcMapL", "mnuArcMapS",
                          "mnuGoogleLoad", "mnuGoogleSave", "mnuArcExplorerS", "mnuArcMapProperties"})
        EXPECT_FALSE(r.enabled(m)) << m;
}

TEST(Links, WindowTitlesFollowTheirCaseAndPlaceRules)
{
    LinksRig r;
    auto garmin = platform::windows::Announce("ThunderRT6FormDC", "ArcExplorer Garmin");
    auto later = platform::windows::Announce("x", "My Google Earth");
    r.gis().Refresh_Apps();
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin ");
    auto ae = platform::windows::Announce("x", "ArcExplorer - map");
    auto ge = platform::windows::Announce("x", "GOOGLE EARTH Pro");
    r.gis().Refresh_Apps();
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin / ArcExplorer / Google Earth ");
    EXPECT_TRUE(r.enabled("mnuArcExplorerS"));
    EXPECT_TRUE(r.enabled("mnuGoogleSave"));
    for (auto h : {garmin, later, ae, ge}) platform::windows::Withdraw(h);

    // Installed but not running: menus, no caption.
    r.registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Google\\Google Earth Plus]\nVersion=4.2\n");
    r.gis().Refresh_Apps();
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin ");
    EXPECT_TRUE(r.enabled("mnuGoogleLoad"));
}

TEST(Links, RegistryValuesByType)
{
    LinksRig r;
    r.registry("[HKEY_LOCAL_MACHINE\\K]\ns=abc\\0def\nw=whole\nn=dword:0000002a\nm=dword:ffffffff\ne=hex(2):25,00\n"
               "bad=dword:12345678x\n");
    EXPECT_EQ(basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "K", "s"), "abc");
    EXPECT_EQ(basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "K", "w"), "whole");
    EXPECT_EQ(basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "K", "n"), "42");
    EXPECT_EQ(basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "K", "m"), "-1");
    EXPECT_EQ(basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "K", "e"), "");
    EXPECT_EQ(basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "K", "bad"), "");
    EXPECT_EQ(basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "K", "missing"), "");
}

TEST(Links, ArcMapIsAttachedOnceReplacedByAnotherWindowAndDroppedWhenGone)
{
    LinksRig r;
    r.registry(kArcGis);
    auto h = platform::windows::Announce("Afx:00400000:b:10011", "Untitled - ArcMap");
    r.fakes->add({h});
    r.gis().Refresh_Apps();
    r.gis().Refresh_Apps();
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin / ArcMap ");
    EXPECT_TRUE(r.enabled("mnuArcMapS"));
    EXPECT_TRUE(r.enabled("mnuArcMapProperties"));
    EXPECT_EQ(r.calls, (std::vector<std::string>{"Find", "Create", "Set_WindowHandle(" + std::to_string(h) + ")",
                                                 "Get_WindowHandle"}));

    // A second ArcMap with a lower handle is found first: attached anew.
    r.calls.clear();
    r.fakes->add({5, true, true, false});
    platform::windows::Announce("Afx:400000:b:1001", "b - ArcMap", 5);
    r.gis().Refresh_Apps();
    EXPECT_EQ(r.calls, (std::vector<std::string>{"Get_WindowHandle", "Find", "Dock(32)", "Item0", "Create",
                                                 "Set_WindowHandle(5)"}));

    // Both gone: the object is dropped.
    r.fakes->remove(5);
    platform::windows::Withdraw(5);
    platform::windows::Withdraw(h);
    r.gis().Refresh_Apps();
    EXPECT_FALSE(r.main.state().arcmap_extension);
    EXPECT_FALSE(r.enabled("mnuArcMapL"));
    EXPECT_TRUE(r.enabled("mnuArcMapProperties"));
}

TEST(Links, AnArcMapWithoutTheExtensionCountsArcGisAbsentAndALowerCaseTitleIsNoArcMap)
{
    LinksRig r;
    r.registry(kArcGis);
    auto h = platform::windows::Announce("Afx:00400000:b:1", "untitled - arcmap");
    r.fakes->add({h});
    r.gis().Refresh_Apps();
    EXPECT_FALSE(r.main.state().arcmap_running);
    EXPECT_TRUE(r.main.state().arcgis_installed);
    EXPECT_TRUE(r.calls.empty());
    platform::windows::Withdraw(h);

    h = platform::windows::Announce("Afx:00400000:b:1", "Untitled - ArcMap");
    r.fakes->add({h, true, true, true, false}); // the class cannot be made
    r.gis().Refresh_Apps();
    EXPECT_FALSE(r.main.state().arcmap_running);
    EXPECT_FALSE(r.main.state().arcgis_installed);
    EXPECT_FALSE(r.enabled("mnuArcMapProperties"));
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin ");
    platform::windows::Withdraw(h);
}

TEST(Links, RefreshRateAnswers)
{
    for (const char* a : {"0", "-5", "abc"}) {
        auto rate = links::Refresh_Rate_Answer(a);
        EXPECT_EQ(rate.stored, "10");
        EXPECT_EQ(rate.seconds, 10);
    }
    EXPECT_EQ(links::Refresh_Rate_Answer("2.5").seconds, 2.5);
    EXPECT_EQ(links::Refresh_Rate_Answer("5x").stored, "5x");
    EXPECT_EQ(links::Refresh_Rate_Answer("5x").seconds, 5);

    LinksRig r;
    r.dialogs.input("2.5");
    r.gis().mnuSetAppRefreshRate_Click();
    EXPECT_EQ(r.settings.GetSetting("app", "refresh"), "2.5");
    EXPECT_EQ(r.main.Timer1->interval_ms(), 2500);
    EXPECT_EQ(r.dialogs.last()->title, "Set App Refresh Rate");
    EXPECT_EQ(r.dialogs.last()->default_text, "10");
    r.dialogs.input("", true);
    r.gis().mnuSetAppRefreshRate_Click();
    EXPECT_EQ(r.settings.GetSetting("app", "refresh"), "2.5");
    r.dialogs.input("3000000");
    r.gis().mnuSetAppRefreshRate_Click();
    EXPECT_EQ(r.settings.GetSetting("app", "refresh"), "3000000");
    EXPECT_EQ(r.dialogs.last()->text, "Error #380 - Invalid property value");
    EXPECT_EQ(r.dialogs.last()->title, "frmMain.mnuSetAppRefreshRate_Click");
    EXPECT_EQ(r.main.Timer1->interval_ms(), 2500);
}

TEST(Links, ArcViewStringsAndTheUnitModel)
{
    EXPECT_EQ(links::Av_Run("GPS.ReceiveGarminFile", {"/d/a.shp", "shapefile"}),
              "av.run(\"GPS.ReceiveGarminFile\",{\"/d/a.shp\",\"shapefile\"})");
    EXPECT_EQ(links::Av_Run("GPS.RemoveRealTimeGraphics", {""}), "av.run(\"GPS.RemoveRealTimeGraphics\",{\"\"})");
    EXPECT_EQ(links::Unit_Model("eTrex Legend Software Version 3.70"), "eTrex Legend");
    EXPECT_EQ(links::Unit_Model("  GPSMAP 60 "), "GPSMAP 60");

    // No ArcView: the box, then (theme only) the question.
    LinksRig r;
    r.dialogs.answer(platform::vbOK);
    r.dialogs.answer(platform::vbNo);
    r.gis().Arcview_GetData("Shapefile");
    ASSERT_EQ(r.dialogs.boxes().size(), 2u);
    EXPECT_EQ(r.dialogs.boxes()[0].title, "ArcView Not Found");
    EXPECT_EQ(r.dialogs.boxes()[1].text, "Would you like to load data from a file?");
    r.dialogs.clear();
    r.gis().Arcview_GetData("Graphic");
    EXPECT_EQ(r.dialogs.boxes().size(), 1u);
}

TEST(Links, ArcMapSendsReportOnlyWhatReachedArcMap)
{
    LinksRig r;
    ASSERT_TRUE(r.main.table().Records_Insert("A;c;45;-93"));
    // No object: ArcMap start finds no program, nothing is sent.
    r.gis().ArcMap_SendData("graphic");
    EXPECT_NE(r.main.StatusBar1[1], "Sent Point graphic to ArcMap");

    // A dead object from an ArcMap closed since the last detection.
    r.registry(kArcGis);
    auto h = platform::windows::Announce("Afx:00400000:b:1", "Untitled - ArcMap");
    r.fakes->add({h});
    r.gis().Refresh_Apps();
    ASSERT_TRUE(r.main.state().arcmap_extension);
    r.main.Set_Msg("");
    r.gis().ArcMap_SendData("graphic");
    EXPECT_EQ(r.main.StatusBar1[1], "Sent Point graphic to ArcMap");
    r.main.Set_Msg("");
    r.fakes->remove(h);
    r.gis().ArcMap_SendData("graphic");
    EXPECT_NE(r.main.StatusBar1[1], "Sent Point graphic to ArcMap");
    platform::windows::Withdraw(h);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(LandView, UserListLinesAreFixedWidthCp1252)
{
    EXPECT_EQ(links::LV_UserListLine("45", "-93", "A,B", " ", 7),
              "45        ,-93       ,A_B                 ,7        ");
    EXPECT_EQ(links::LV_UserListLine("44.123456789", "-93.1234567890", "", "WAYPOINT", 3),
              "44.1234567,-93.123456,3                   ,WAYPOINT ");
    // Widths count Windows-1252 bytes: "é" is one byte there.
    EXPECT_EQ(links::LV_UserListLine("1", "2", "caf\u00e9", "longcommentx", 1).size(), 52u);
    EXPECT_EQ(links::LV_UserListLine("1", "2", "caf\u00e9", "c", 1).substr(22, 5), "caf\xe9 ");
}

TEST(LandView, TempFolderFollowsTempAndFallsBackToTheProgramsOwn)
{
    LinksRig r;
    ::setenv("TEMP", r.dir.path.c_str(), 1);
    EXPECT_EQ(r.gis().LV_TheTempFolder(), r.dir.path + "/");
    ::setenv("TEMP", (r.dir.path + "/").c_str(), 1);
    EXPECT_EQ(r.gis().LV_TheTempFolder(), r.dir.path + "/");
    ::setenv("TEMP", (r.dir.path + "/gone").c_str(), 1);
    EXPECT_EQ(r.gis().LV_TheTempFolder(), app::temp_folder() + "/");
    EXPECT_FALSE(r.gis().LV_FileExists(r.dir.path));
    EXPECT_FALSE(r.gis().LV_FileExists(""));
    ::unsetenv("TEMP");
}

TEST(LandView, UserListIsWrittenThenTheSendNeedsLandView)
{
    LinksRig bare;
    bare.gis().mnuLandviewListSave_Click();
    EXPECT_EQ(bare.dialogs.last()->text, "Could not find proper fields (lat,long)");
    LinksRig r(true);
    ::setenv("TEMP", r.dir.path.c_str(), 1);
    flxgrd::Table& t = r.main.table();
    ASSERT_TRUE(t.Records_InsertValues({}));
    const std::string cols = std::to_string(t.Column_Find("ident", false)) + ";" +
                             std::to_string(t.Column_Find("comment", false)) + ";" +
                             std::to_string(t.Column_Find("lat", false)) + ";" + std::to_string(t.Column_Find("long", false));
    ASSERT_TRUE(t.Records_InsertValues({"A,B", "", "45.5", "-93.25"}, cols));
    r.main.MSFlexGrid1.SetTextMatrix(2, t.Column_Find("comment", false), "");
    r.main.state().selection_count = 1;
    r.main.state().first_selected_row = r.main.state().last_selected_row = 2;
    const std::int32_t before = r.main.state().landview_message_counter;
    try {
        r.gis().mnuLandviewListSave_Click();
        ADD_FAILURE() << "sent without LandView";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 282);
    }
    EXPECT_EQ(r.main.state().landview_message_counter, before + 1);
    const std::string text = read_file(r.dir.path + "/GarminTempFile.txt");
    ASSERT_EQ(text.size(), 54u) << text;
    EXPECT_EQ(text.substr(0, 22), "45.5      ,-93.25    ,");
    EXPECT_EQ(text.substr(22, 21), "A_B                 ,");
    EXPECT_EQ(text.substr(43, 9), "2        ");
    EXPECT_EQ(text.substr(52), "\r\n");
    ::unsetenv("TEMP");
}

// LandView's topic served from a thread: every poke is kept and answered.
class FakeLandView {
public:
    FakeLandView()
    {
        const std::string path = platform::dde::Socket_Path("landview", "whereform");
        listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        ::unlink(path.c_str());
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(listener_, 8), 0);
        EXPECT_EQ(::pipe(stop_), 0);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeLandView()
    {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        ::close(listener_), ::close(stop_[0]), ::close(stop_[1]);
    }
    std::vector<std::string> pokes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return pokes_;
    }
    std::atomic<bool> refuse = false; // answers {"ok":false}

private:
    void serve()
    {
        std::vector<std::pair<int, platform::dde::LineReader>> conns;
        for (;;) {
            std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
            for (auto& c : conns) fds.push_back({c.first, POLLIN, 0});
            ::poll(fds.data(), fds.size(), -1);
            if (fds[0].revents) break;
            if (fds[1].revents) conns.push_back({::accept(listener_, nullptr, nullptr), {}});
            for (std::size_t k = 2; k < fds.size(); ++k) {
                if (!fds[k].revents) continue;
                auto& [fd, reader] = conns[k - 2];
                char buf[4096];
                const ssize_t got = ::read(fd, buf, sizeof buf);
                if (got <= 0) {
                    ::close(fd);
                    fd = -1;
                    continue;
                }
                reader.feed({buf, std::size_t(got)});
                std::string line;
                while (reader.next(line) == platform::dde::LineReader::Result::Line) {
                    if (auto m = platform::dde::Decode(line); m && m->op == "poke") {
                        std::lock_guard<std::mutex> lock(mutex_);
                        pokes_.push_back(m->data);
                    }
                    const std::string answer = platform::dde::Encode_Answer(!refuse);
                    (void)!::write(fd, answer.data(), answer.size());
                }
            }
            std::erase_if(conns, [](const auto& c) { return c.first < 0; });
        }
        for (auto& c : conns) ::close(c.first);
    }
    int listener_ = -1, stop_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> pokes_;
};

TEST(LandView, FieldsOfAMessage)
{
    EXPECT_EQ(links::LV_GetTheWord("A,,B", 2), "B");
    EXPECT_EQ(links::LV_GetTheWord("UPLOAD,,,/a.shp", 2), "/a.shp");
    EXPECT_EQ(links::LV_GetTheWord("UPLOAD,,,/a.shp", 5), "/a.shp");
    EXPECT_EQ(links::LV_GetTheWord("DOWNLOAD,waypoint,point,/x.shp", 5), "/x.shp");
    EXPECT_EQ(links::LV_GetTheWord("  rgs,", 1), "rgs");
    EXPECT_EQ(links::LV_GetTheWord(",,A", 2), ""); // a leading comma is never collapsed
    EXPECT_EQ(links::LV_GetTheWord(",,A", 3), "A");
    EXPECT_EQ(links::LV_GetTheWord("A, b ,C", 2), " b ");
    EXPECT_EQ(links::LV_GetTheWord("", 3), "");
}

TEST(LandView, MenuRequestsAreNumberedAndCountedOnlyWhenSent)
{
    LinksRig r(true);
    links::Links& g = r.gis();
    // No LandView: the box when asked, and a sender fails in the link.
    EXPECT_FALSE(g.LV_Exists(true));
    EXPECT_EQ(r.dialogs.last()->title, "LandView Not Found");
    g.menu_Click("mnuLandviewCurrentLocationLoad", -1);
    EXPECT_EQ(r.dialogs.last()->text, "Error Trying to Communicate Coordinates with Landview");
    EXPECT_EQ(r.dialogs.last()->title, "Communication Error");

    FakeLandView peer;
    r.main.state().landview_message_counter = 1;
    for (const char* m : {"mnuLandviewCurrentLocationLoad", "mnuLandviewListLoad", "mnuLandViewMeasureLoadPoint",
                          "mnuLandviewLayerLoad", "mnuLandviewMeasureToolLine", "mnuLandVeiwLayerSave"})
        g.menu_Click(m, -1);
    flxgrd::Table& t = r.main.table();
    ASSERT_TRUE(t.Records_InsertValues({}));
    r.main.MSFlexGrid1.SetTextMatrix(1, t.Column_Find("lat", false), "45.5");
    r.main.MSFlexGrid1.SetTextMatrix(1, t.Column_Find("long", false), "-93.25");
    g.menu_Click("mnuLandviewCurrentLocationSave", -1);
    ASSERT_TRUE(t.Records_InsertValues({"1", "2"}));
    g.menu_Click("mnuLandviewCurrentLocationSave", -1);
    EXPECT_EQ(r.dialogs.last()->text, "You must have one record in the table selected");
    EXPECT_EQ(peer.pokes(), (std::vector<std::string>{"SCL2", "SUL3", "SMS4,Point", "LLL5", "MEA6,Line", "LLS7",
                                                      "TCL8,45.5,-93.25"}));
    r.main.state().landview_message_counter = std::numeric_limits<std::int32_t>::max();
    EXPECT_THROW(g.LV_Relink(), platform::VbError);
}

TEST(LandView, ARefusedPokeReachesTheSendersTrap)
{
    LinksRig r(true);
    FakeLandView peer;
    peer.refuse = true;
    // Current Location and User List: their own box, word for word.
    for (const char* m : {"mnuLandviewCurrentLocationLoad", "mnuLandviewListLoad"}) {
        r.dialogs.clear();
        r.gis().menu_Click(m, -1);
        ASSERT_EQ(r.dialogs.boxes().size(), 1u) << m;
        EXPECT_EQ(r.dialogs.last()->text, "Error Trying to Communicate Coordinates with Landview");
        EXPECT_EQ(r.dialogs.last()->title, "Communication Error");
    }
    // A sender without a trap of its own lets the error through to the
    // menu's trap.
    try {
        r.gis().menu_Click("mnuLandviewLayerLoad", -1);
        ADD_FAILURE() << "a refused poke went unnoticed";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 285);
    }
    // An answer refused while a command of LandView's is dispatched.
    r.dialogs.clear();
    r.main.state().nmea_mode = true; // no fix asked of a receiver
    r.main.FromDDE.caption = "RGS";
    r.gis().FromDDE_Change();
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.last()->title, "Communication Error: 0");
    EXPECT_EQ(r.dialogs.last()->text, "Trekfold Error with message from DDE: RGS");
    EXPECT_EQ(peer.pokes().size(), 4u);
}

TEST(LandView, IncomingCommandsDispatchByTheirFirstField)
{
    LinksRig r(true);
    ::setenv("TEMP", r.dir.path.c_str(), 1);
    links::Links& g = r.gis();
    FakeLandView peer;
    bool ended = false;
    g.on_end = [&] { ended = true; };
    auto poke = [&](const std::string& text) {
        r.main.FromDDE.caption = text;
        g.FromDDE_Change();
    };
    r.main.state().nmea_mode = true; // no fresh fix is asked of the receiver
    r.main.lbllon.caption = "-93.25000000", r.main.lbllat.caption = "45.50000000", r.main.lblepe.caption = "2.5";
    r.main.state().landview_message_counter = 79;
    poke("  rgs");
    for (const char* ignored : {"RG", "RGSX", "XYZ,1"}) poke(ignored);
    r.main.state().unit = "Feet";
    r.main.lblepe.caption = "32.808 ft";
    poke("RGS,");
    EXPECT_EQ(peer.pokes(), (std::vector<std::string>{"TCL80,-93.25000000,45.50000000,80,2.5,0,false",
                                                      "TCL81,-93.25000000,45.50000000,80,10,0,false"}));
    r.dialogs.clear();
    poke("lst");
    ASSERT_NE(r.dialogs.last(), nullptr);
    EXPECT_EQ(r.dialogs.last()->text, "Errors encountered when loading " + r.dir.path + "/GarminTempFile.txt");
    EXPECT_FALSE(ended);
    poke("End");
    EXPECT_TRUE(ended);
    ::unsetenv("TEMP");
}

TEST(LandView, UtmSeriesAndTheMeasureToolTable)
{
    double e = 0, n = 0;
    links::LV_LatLongDD2UTM(15, 45, -93, e, n);
    EXPECT_NEAR(e, 500000.0, 1e-6);
    EXPECT_NEAR(n, 4982950.3842, 1e-3);
    links::LV_LatLongDD2UTM(15, -45, -93, e, n);
    EXPECT_NEAR(n, -4982950.3842, 1e-3); // no false northing in the south
    // Two records, written by hand from the layout.
    const unsigned char golden[] = {
        3, 103, 9, 22,          // dBASE III, the fixed date
        2, 0, 0, 0,             // records
        65, 0, 9, 0,            // header and record lengths
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // reserved
        87, 0, 0,               // language driver
        'I', 'D', 0, 0, 0, 0, 0, 0, 0, 0, 0, 'N', 0, 0, 0, 0, 8, // the field
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 13,
        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', '1', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', '2', 26};
    EXPECT_EQ(links::LV_DbaseBytes(2), std::string(reinterpret_cast<const char*>(golden), sizeof golden));
    apptest::TempDir d;
    std::string path = d.path + "/t.SHP";
    std::ofstream(d.path + "/t.dbf") << std::string(500, 'x'); // an older, longer table
    ASSERT_TRUE(links::LV_CreateDbaseFile(path, 2));
    EXPECT_EQ(path, d.path + "/t.dbf");
    EXPECT_EQ(read_file(path).size(), sizeof golden);
}

TEST(LandView, SmtWritesTheTemporarySetAndRepliesWithItsTable)
{
    LinksRig r(true);
    ::setenv("TEMP", r.dir.path.c_str(), 1);
    links::Links& g = r.gis();
    FakeLandView peer;
    flxgrd::Table& t = r.main.table();
    ASSERT_TRUE(t.Table_SetType("track"));
    ASSERT_TRUE(t.Records_InsertValues({}));
    ASSERT_TRUE(t.Records_InsertValues({}));
    ASSERT_TRUE(t.Records_InsertValues({}));
    platform::Grid& grid = r.main.MSFlexGrid1;
    const int lat = t.Column_Find("lat", false), lon = t.Column_Find("long", false);
    ASSERT_GE(lat, 0);
    const char* cells[3][2] = {{"45", "-93"}, {"45.01", "-93"}, {"45.01", "-93.01"}};
    for (int row = 1; row <= 3; ++row)
        grid.SetTextMatrix(row, lat, cells[row - 1][0]), grid.SetTextMatrix(row, lon, cells[row - 1][1]);
    r.main.state().landview_message_counter = 4;
    r.main.FromDDE.caption = "SMT,Point,x";
    g.FromDDE_Change();
    const std::string base = r.dir.path + "/TmpShapeFile1";
    EXPECT_TRUE(g.LV_FileExists(base + ".shp"));
    EXPECT_TRUE(g.LV_FileExists(base + ".shx"));
    EXPECT_EQ(read_file(base + ".dbf"), links::LV_DbaseBytes(3));
    // Three rows as one polygon: a closed ring of four vertices; as lines
    // where every row starts a segment: no shape.
    const int seg = t.Column_Find("new_seg", false);
    ASSERT_GE(seg, 0);
    g.LV_Table2Shapefile("Polygon", "");
    {
        files::CFileName fn;
        fn.SetFileSpec(base + ".shp");
        files::CShapeFile shp;
        shp.SetFileSpec(fn, 0);
        ASSERT_EQ(shp.Count(), 1);
        auto ring = std::dynamic_pointer_cast<files::CPolygon>(shp.Item(1));
        ASSERT_TRUE(ring);
        EXPECT_EQ(ring->Item(1)->Count(), 4);
    }
    for (int row = 1; row <= 3; ++row) grid.SetTextMatrix(row, seg, "True");
    r.dialogs.clear();
    g.LV_Table2Shapefile("Line", "");
    EXPECT_EQ(r.dialogs.last()->text, "No valid shapes created in shapefile");
    EXPECT_EQ(read_file(base + ".dbf"), links::LV_DbaseBytes(0));
    r.dialogs.clear();
    r.main.FromDDE.caption = "smt,polygon";
    g.FromDDE_Change();
    ASSERT_NE(r.dialogs.last(), nullptr);
    EXPECT_EQ(r.dialogs.last()->text, "No valid shapes created in shapefile");
    EXPECT_FALSE(g.LV_FileExists(base + ".shp")); // the earlier set is gone, no new shapes
    EXPECT_EQ(peer.pokes(), (std::vector<std::string>{"SMT5," + base + ".dbf", "SMT6," + base + ".dbf",
                                                      "SMT7," + base + ".dbf", "SMT8," + base + ".dbf"}));
    ::unsetenv("TEMP");
}

TEST(LandView, LayerFilesAreReadItemByItem)
{
    auto names = [](const std::string& text) { return links::Read_Layers(text).names; };
    using V = std::vector<std::string>;
    EXPECT_EQ(names("1\r\n\"a\",\"/a.shp\"\r\n\"b\",\"/b.shp\"\r\n"), (V{"a", "b"}));
    EXPECT_EQ(names(" 0 ,x,y"), V{"x"});
    const links::LayerList quoted = links::Read_Layers("1\n\"a, b\" ,/a.shp\rc,\"/c d.shp\"junk");
    EXPECT_EQ(quoted.names, (V{"a, b", "c"}));
    EXPECT_EQ(quoted.values, (V{"/a.shp", "/c d.shp"}));
    std::string sixteen = "15";
    for (int i = 0; i < 16; ++i) sixteen += ",n" + std::to_string(i) + ",v" + std::to_string(i);
    EXPECT_EQ(links::Read_Layers(sixteen).names.size(), 15u);
    EXPECT_EQ(names("2,a,1,b"), (V{"a"})); // a name without its value is not offered
    EXPECT_EQ(links::Read_Layers("abc,a,b").count, -1);
    EXPECT_EQ(links::Read_Layers("99999,a,b").count, -1);
    EXPECT_TRUE(names("").empty());
}

TEST(LandView, ChooserHandsItsChoiceBackThroughBothTags)
{
    apptest::TempDir d;
    std::string main_tag = "old";
    links::frmLandviewLayerSelection f([&] { return d.path + "/"; }, main_tag);
    std::ofstream(d.path + "/GarminTempLayerFile.txt") << "2\r\n\"A\",\"/a.shp\"\r\n\"B\",\"/b\"\r\n\"C\",\"/c.shp\"\r\n";
    bool ok_enabled = true;
    f.show_modal = [&](links::frmLandviewLayerSelection& w) {
        ok_enabled = w.controls()[2].enabled;
        EXPECT_EQ(w.Click("cmdOK"), app::Form::Disabled);
        EXPECT_EQ(w.SetText("ActiveLayers", "C"), app::Form::Done);
        w.Click("cmdOK");
    };
    f.Show();
    EXPECT_FALSE(ok_enabled);
    EXPECT_FALSE(f.Visible());
    EXPECT_EQ(f.Tag, "/c.shp");
    EXPECT_EQ(main_tag, "2");
    EXPECT_EQ(f.items(), (std::vector<std::string>{"A", "B", "C"}));
    // The close box, a double-click, and no answer at all.
    f.show_modal = [](links::frmLandviewLayerSelection& w) { w.Close(); };
    f.Show();
    EXPECT_EQ(f.Tag, "");
    EXPECT_EQ(main_tag, "");
    f.show_modal = [](links::frmLandviewLayerSelection& w) {
        w.Click("ActiveLayers", 0);
        w.ActiveLayers_DblClick();
    };
    f.Show();
    EXPECT_EQ(main_tag, "0");
    f.show_modal = nullptr;
    f.Show();
    EXPECT_EQ(f.Tag, "");
}

TEST(LandView, ChooserBringsBackTheNormalPointerEachTimeItIsShown)
{
    apptest::Rig r(false);
    auto& f = dynamic_cast<links::frmLandviewLayerSelection&>(*r.main.form("frmLandviewLayerSelection"));
    std::vector<int> pointers;
    f.show_modal = [&](links::frmLandviewLayerSelection& w) {
        pointers.push_back(r.cursor.pointer());
        w.Close();
    };
    for (int i = 0; i < 2; ++i) {
        r.cursor.hourglass(true); // left up by the command that asked
        f.Show();
    }
    EXPECT_EQ(pointers, (std::vector<int>{platform::vbDefault, platform::vbDefault}));
}

TEST(LandView, LayerCommandsSaveAppendAndLoad)
{
    LinksRig r(true);
    ::setenv("TEMP", r.dir.path.c_str(), 1);
    links::Links& g = r.gis();
    FakeLandView peer;
    flxgrd::Table& t = r.main.table();
    ASSERT_TRUE(t.Records_InsertValues({}));
    r.main.MSFlexGrid1.SetTextMatrix(1, t.Column_Find("lat", false), "45.5");
    r.main.MSFlexGrid1.SetTextMatrix(1, t.Column_Find("long", false), "-93.25");
    r.main.MSFlexGrid1.SetTextMatrix(1, t.Column_Find("x_proj", false), "480354.1");
    r.main.MSFlexGrid1.SetTextMatrix(1, t.Column_Find("y_proj", false), "5038562.2");
    auto& tf = dynamic_cast<files::FileFrontEnd&>(r.main.files()).table_files();
    const std::string layer = r.dir.path + "/layer.shp";
    ASSERT_TRUE(tf.Shapefile_Save("Point", false, layer, false));
    std::ofstream(r.dir.path + "/GarminTempLayerFile.txt")
        << "2\r\n\"Roads\",\"/gone.shp\"\r\n\"Mine\",\"" << layer << "\"\r\n\"Census\",\"tiger:1\"\r\n";
    std::deque<std::string> choices;
    g.LayerSelection().show_modal = [&](links::frmLandviewLayerSelection& w) {
        EXPECT_FALSE(r.main.Visible); // the main window is hidden meanwhile
        const std::string c = choices.front();
        choices.pop_front();
        if (c == "throw") throw platform::VbError(5, "", "Invalid procedure call or argument");
        if (c != "Cancel") w.SetText("ActiveLayers", c), w.Click("cmdOK");
        else w.Click("cmdClose");
    };
    auto poke = [&](const std::string& text) {
        r.main.FromDDE.caption = text;
        g.FromDDE_Change();
    };
    r.main.state().landview_message_counter = 9;
    choices = {"Cancel", "Mine", "Mine", "Mine", "Census", "Roads", "throw"};
    poke("SOP");
    r.dialogs.answer(platform::vbYes);
    poke("sop");
    EXPECT_EQ(r.dialogs.last()->title, "Save to Landview Overlay");
    EXPECT_EQ(r.dialogs.last()->text, "Answer YES to to Append or NO to Create a New File: " + layer);
    poke("APP");
    EXPECT_EQ(tf.get_ShapeFileType(layer), "point");
    {
        files::CFileName fn;
        fn.SetFileSpec(layer);
        files::CShapeFile shp;
        shp.SetFileSpec(fn, 0);
        EXPECT_EQ(shp.Count(), 2); // appended to
    }
    r.dialogs.answer(platform::vbNo);
    r.dialogs.file(r.dir.path + "/new.shp");
    poke("SOP");
    r.dialogs.answer(platform::vbCancel);
    poke("SOP");
    EXPECT_EQ(peer.pokes(), (std::vector<std::string>{"APL9," + layer + ",1,Shape file appended to", "UAF9",
                                                      "REF9," + r.dir.path + "/new.shp,1,NEW, GPS Shapefile written",
                                                      "DONE9"}));
    poke("ROP");
    EXPECT_EQ(r.dialogs.last()->title, "User data required");
    EXPECT_EQ(r.dialogs.last()->text, "Sorry, cannot load this layer. Only works for shapefiles.");
    poke("ROP");
    EXPECT_EQ(r.dialogs.last()->title, "Landview Layer Did Not Load");
    EXPECT_EQ(r.dialogs.last()->text, "File not found: /gone.shp");
    poke("ROP");
    EXPECT_EQ(r.dialogs.last()->title, "Communication Error: 101");
    EXPECT_EQ(r.dialogs.last()->text, "Trekfold Error with message from DDE: ROP");
    EXPECT_TRUE(r.main.Visible);
    EXPECT_EQ(peer.pokes().size(), 4u);
    ::unsetenv("TEMP");
}

TEST(LandView, LayerDownloadsAskForTheLayerOnlyOnceTheDownloadEnded)
{
    LinksRig r(true);
    ::setenv("TEMP", r.dir.path.c_str(), 1);
    links::Links& g = r.gis();
    FakeLandView peer;
    auto poke = [&](const std::string& text) {
        r.main.FromDDE.caption = text;
        g.FromDDE_Change();
    };
    app::AppState& s = r.main.state();
    r.main.menus().find("mnuWDownload")->enabled = false;
    poke("LVW");
    EXPECT_TRUE(peer.pokes().empty());
    r.main.menus().find("mnuWDownload")->enabled = true;
    // The download runs on after its menu command returns.
    s.transfer_complete = false;
    bool done_when_asked = false;
    r.pump.at(r.pump.clock().now_us() + 5'000'000, [&] { s.transfer_complete = true; });
    g.on_dde = [&](const std::string&, const std::string&, const std::string& data, int) {
        if (data.rfind("LLS", 0) == 0) done_when_asked = s.transfer_complete;
    };
    poke("lvw");
    EXPECT_TRUE(done_when_asked);
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "transfer.mnuWDownload(-1)"), 1);
    // Transfers LandView asks for that fail answer False.
    poke("UPLOAD,waypoint,,/nowhere/w.xyz");
    poke("DOWNLOAD,waypoint,point," + r.dir.path + "/w.xyz");
    const auto pokes = peer.pokes();
    ASSERT_EQ(pokes.size(), 3u);
    EXPECT_EQ(pokes[0].substr(0, 3), "LLS");
    EXPECT_EQ(pokes[1], "RESPONSE,False");
    EXPECT_EQ(pokes[2], "RESPONSE,False");
    ::unsetenv("TEMP");
}

} // namespace
