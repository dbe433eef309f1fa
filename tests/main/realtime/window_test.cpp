// The real-time window: recording kept points into a point, line or polygon
// shapefile with the four commands, the ident prompt, key P, append or
// overwrite, hidden fields; its settings and the checks of its boxes.
#include "tests/main/realtime/realtime_rig.h"

#include "main/files/dbase.h"
#include "main/files/shapefile.h"
#include "platform/text/vb.h"

#include <gtest/gtest.h>

#include <filesystem>

using rttest::Tracker;
namespace vb = platform::vb;

namespace {

std::int32_t shapes(const std::string& path)
{
    files::CFileName name;
    name.SetFileSpec(path);
    files::CShapeFile shp;
    shp.SetFileSpec(name, 0);
    return shp.Count();
}

// The values of one field of every record of the table beside `shp`.
std::vector<std::string> column(Tracker& t, const std::string& shp, const std::string& field)
{
    files::DBase db(t.dialogs);
    const std::int16_t f = db.DBF_Open(shp.substr(0, shp.size() - 3) + "dbf");
    std::vector<std::string> out;
    auto fields = db.DBF_GetFields(f);
    auto records = db.DBF_GetRecords(f, 0);
    db.DBF_Close(f);
    if (!fields || !records) return out;
    std::size_t at = 0;
    while (at < fields->size() && vb::LCase((*fields)[at].substr(0, (*fields)[at].find(','))) != field) ++at;
    for (const auto& r : *records) out.push_back(at < r.size() ? vb::Trim(r[at]) : "?");
    return out;
}

struct Recording : ::testing::Test {
    Tracker t;
    std::string shp;
    void SetUp() override
    {
        shp = t.dir.path + "/out.shp";
        t.start();
    }
    void load(int type, bool exists_answer_yes = false)
    {
        ASSERT_EQ(t.w().Click("optDataType", type), app::Form::Done);
        t.dialogs.file(shp);
        if (std::filesystem::exists(shp)) t.dialogs.answer(exists_answer_yes ? platform::vbYes : platform::vbNo);
        ASSERT_EQ(t.w().Click("cmdLoad"), app::Form::Done);
        ASSERT_EQ(t.w().control("lblPath(" + std::to_string(type) + ")").caption, shp);
    }
    void command(int i) { ASSERT_EQ(t.w().Click("cmdControls", i), app::Form::Done); }
    std::string count(int type) { return t.w().control("lblCount(" + std::to_string(type) + ")").caption; }
};

} // namespace

TEST_F(Recording, PointsStartedGoOneByOneWithTheirRowValues)
{
    load(0);
    EXPECT_EQ(t.w().Tag("optDataType(0)"), "3");
    EXPECT_FALSE(t.w().control("cmdLoad").enabled);
    EXPECT_FALSE(t.w().control("optDataType(1)").enabled);
    t.fix(45, -93); // not started: nothing
    command(1);
    EXPECT_EQ(t.w().ButtonColor(1), realtime::frmRealTime::kHighlight);
    EXPECT_EQ(t.w().ButtonColor(3), realtime::frmRealTime::kButtonFace);
    t.fix(45.1, -93);
    t.fix(45.2, -93);
    EXPECT_EQ(shapes(shp), 2);
    EXPECT_EQ(count(0), "2");
    EXPECT_EQ(column(t, shp, "ident"), (std::vector<std::string>{"rt2", "rt3"}));
    EXPECT_EQ(column(t, shp, "lat"), (std::vector<std::string>{t.cell(2, "lat"), t.cell(3, "lat")}));
    command(3); // stop on points: the next one still goes, then nothing
    t.fix(45.3, -93);
    t.fix(45.4, -93);
    EXPECT_EQ(shapes(shp), 3);
    // Remove keeps the file; loading it again offers append (Yes keeps the shapes).
    ASSERT_EQ(t.w().Click("cmdRemove"), app::Form::Done);
    EXPECT_TRUE(std::filesystem::exists(shp));
    EXPECT_FALSE(t.w().control("lblCount(0)").visible);
    load(0, true);
    EXPECT_EQ(count(0), "3");
    EXPECT_EQ(shapes(shp), 3);
    ASSERT_EQ(t.w().Click("cmdRemove"), app::Form::Done);
    load(0, false); // No overwrites
    EXPECT_EQ(count(0), "0");
    EXPECT_EQ(shapes(shp), 0);
}

TEST_F(Recording, ALineAcrossPauseAndStopIsOneShapeNamedAtThePrompt)
{
    load(1);
    EXPECT_FALSE(t.w().control("cmdControls(0)").visible);
    command(1);
    t.fix(45, -93);
    t.fix(45.1, -93);
    command(2);
    t.fix(45.2, -93); // paused: not added
    EXPECT_EQ(t.w().pending_vertices(), 2);
    command(1);
    t.fix(45.3, -93);
    command(3);
    t.dialogs.input("L1");
    t.fix(45.4, -93); // the last vertex
    EXPECT_EQ(t.w().pending_vertices(), 0);
    EXPECT_EQ(shapes(shp), 1);
    EXPECT_EQ(count(1), "1");
    EXPECT_EQ(column(t, shp, "ident"), std::vector<std::string>{"L1"});
    bool prompt = false;
    for (const auto& b : t.dialogs.boxes())
        prompt |= b.text == "Enter value for Ident field" && b.title == "Name the Shape" && b.default_text == "rt1";
    EXPECT_TRUE(prompt);
    t.fix(45.5, -93); // stopped: nothing more
    EXPECT_EQ(shapes(shp), 1);
}

TEST_F(Recording, APolygonOfThreeFixesAndACancelledPrompt)
{
    load(2);
    command(1);
    t.fix(45, -93);
    t.fix(45.1, -93);
    command(3);
    t.dialogs.input("", true);
    t.fix(45.1, -93.1);
    EXPECT_EQ(shapes(shp), 0); // cancelled: nothing written or counted
    EXPECT_EQ(count(2), "0");
    command(1);
    t.fix(45, -93);
    t.fix(45.1, -93);
    command(3);
    t.dialogs.input("P1");
    t.fix(45.1, -93.1);
    EXPECT_EQ(shapes(shp), 1);
    EXPECT_EQ(count(2), "1");
}

TEST_F(Recording, ASingleLineVertexIsNotCounted)
{
    load(1);
    command(3);
    t.dialogs.input("one");
    t.fix(45, -93);
    EXPECT_EQ(count(1), "0");
}

TEST_F(Recording, SinglePointAsksKeyPDoesNot)
{
    load(0);
    t.w().control("chkTolerance(1)").value = true;
    t.w().control("tbxToleranceValue(1)").text = "1000000";
    t.fix(45, -93); // the first is kept (no last point); nothing recorded
    command(0);
    t.dialogs.input("ONE");
    t.fix(45, -93); // bypasses the filter, asks
    EXPECT_EQ(column(t, shp, "ident"), std::vector<std::string>{"ONE"});
    t.fix(45, -93);
    EXPECT_EQ(shapes(shp), 1);
    t.main.state().tolerance_bypass = true;
    ASSERT_EQ(t.w().KeyDown(80, 0), app::Form::Done);
    t.dialogs.clear();
    t.fix(45, -93);
    EXPECT_EQ(shapes(shp), 2);
    for (const auto& b : t.dialogs.boxes()) EXPECT_NE(b.text, "Enter value for Ident field"); // no prompt
}

TEST_F(Recording, AHiddenFieldLeavesTheOthersInStep)
{
    // "eph" hidden in the real-time field list.
    const std::string list = flxgrd::Fields_DefaultList("rtimewpt");
    std::vector<std::string> entries = vb::Split(list, ",");
    for (auto& e : entries)
        if (e.rfind("eph:", 0) == 0) e = vb::Replace(e, "eph:1", "eph:0");
    t.settings.SaveSetting("fields", "rtimewpt", vb::Join(entries, ","));
    t.start();
    load(0);
    command(1);
    t.fix(45.5, -93.25);
    ASSERT_EQ(shapes(shp), 1);
    EXPECT_EQ(column(t, shp, "lat"), std::vector<std::string>{"45.50000000"});
    EXPECT_EQ(column(t, shp, "epv"), std::vector<std::string>{"3.00"}); // not eph's 2.1
    EXPECT_EQ(column(t, shp, "time"), std::vector<std::string>{"9:5:30"});
}

TEST_F(Recording, LoadFileOnANameWhoseStateCannotBeReadShowsTheBox)
{
    t.fix(45, -93);
    t.fix(45.5, -93);
    ASSERT_EQ(t.rows(), 2);
    // A symbolic-link loop, and a name longer than a file name may be.
    const std::string loop = t.dir.path + "/loop.shp";
    std::filesystem::create_symlink(loop, loop);
    for (const std::string& path : {loop + "/x.shp", t.dir.path + "/" + std::string(300, 'n') + ".shp"}) {
        t.dialogs.clear();
        t.dialogs.file(path);
        ASSERT_EQ(t.w().Click("cmdLoad"), app::Form::Done);
        // The save dialog, then the command's box.
        ASSERT_EQ(t.dialogs.boxes().size(), 2u) << path;
        EXPECT_EQ(t.dialogs.boxes().back().title, "Error");
        EXPECT_EQ(t.dialogs.boxes().back().text, "Error #  75 was generated by trekfold\rPath/File access error");
        EXPECT_TRUE(t.w().control("cmdLoad").enabled);
        EXPECT_EQ(t.w().control("lblPath(0)").caption, "");
    }
    EXPECT_EQ(t.rows(), 2);
    t.fix(46, -93);
    EXPECT_EQ(t.rows(), 3);
}

TEST(RealTimeWindow, SettingsLoadRunTheirHandlersAndAreSavedOnUnload)
{
    Tracker t;
    t.settings.SaveSetting("realtime", "toldistchk", "1");
    t.settings.SaveSetting("realtime", "toldistval", "12");
    t.settings.SaveSetting("realtime", "showgraphics", "1");
    t.start();
    EXPECT_TRUE(t.w().control("tbxToleranceValue(1)").enabled);
    EXPECT_FALSE(t.w().control("tbxToleranceValue(0)").enabled);
    EXPECT_EQ(t.w().control("tbxToleranceValue(1)").text, "12");
    EXPECT_EQ(t.w().Tag("chkGISDisplay"), "2");
    EXPECT_TRUE(t.w().control("chkPan").value);

    for (auto [typed, left] : {std::pair{"10", "25"}, {"abc", "25"}, {"24.4", "25"}, {"150", "100"}, {"100", "100"}}) {
        ASSERT_EQ(t.w().SetText("tbxPanWindow", typed), app::Form::Done);
        ASSERT_EQ(t.w().LostFocus("tbxPanWindow"), app::Form::Done);
        EXPECT_EQ(t.w().control("tbxPanWindow").text, left) << typed;
    }
    ASSERT_EQ(t.w().SetText("tbxToleranceValue(1)", ""), app::Form::Done);
    EXPECT_EQ(t.dialogs.boxes().back().text, "Value must be a number");
    EXPECT_EQ(t.w().control("tbxToleranceValue(1)").text, "1");
    ASSERT_EQ(t.w().SetValue("chkTrackUp", true), app::Form::Done);
    t.w().Close(); // the close box is Exit: tracking stops
    EXPECT_FALSE(t.main.state().real_time);
    EXPECT_EQ(t.settings.GetSetting("realtime", "toldistval", ""), "1");
    EXPECT_EQ(t.settings.GetSetting("realtime", "panval", ""), "100");
    EXPECT_EQ(t.settings.GetSetting("realtime", "trackup", ""), "1");
    EXPECT_EQ(t.settings.GetSetting("realtime", "toltimechk", ""), "0");
    EXPECT_EQ(t.count("garmin.Pvt_Data_Stop"), 1);
}

TEST(RealTimeWindow, QuietPreparationOfTheOutputFiles)
{
    Tracker t;
    t.start();
    const std::string shp = t.dir.path + "/q.shp";
    ASSERT_TRUE(t.w().Load_Shapefile(shp, "Polygon", true));
    EXPECT_TRUE(std::filesystem::exists(t.dir.path + "/q.shx"));
    EXPECT_TRUE(t.w().Load_Shapefile(shp, "polygon", false));
    t.dialogs.clear();
    EXPECT_FALSE(t.w().Load_Shapefile(shp, "point", false));
    ASSERT_EQ(t.dialogs.boxes().size(), 1u);
    EXPECT_EQ(t.dialogs.boxes()[0].text, "Error #  5 was generated by trekfold\rIncompatible Shape Types");
    EXPECT_EQ(t.dialogs.boxes()[0].title, "Error");

    // The table beside the shapefile gets the visible fields it lacks, once.
    ASSERT_TRUE(t.w().Load_DBase(shp, true));
    files::DBase db(t.dialogs);
    std::int16_t f = db.DBF_Open(t.dir.path + "/q.dbf");
    const std::size_t fields = db.DBF_GetFields(f)->size();
    db.DBF_Close(f);
    EXPECT_GT(fields, 20u);
    ASSERT_TRUE(t.w().Load_DBase(shp, false));
    f = db.DBF_Open(t.dir.path + "/q.dbf");
    EXPECT_EQ(db.DBF_GetFields(f)->size(), fields);
    db.DBF_Close(f);
}
