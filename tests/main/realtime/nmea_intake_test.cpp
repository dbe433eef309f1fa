// The control's NMEA event through the main window: the labels, the viewer
// copy and its filter, the real-time gate on the value collection; and the
// viewer window itself (stored box states, shift-click, size, save).
#include "tests/main/app/rig.h"

#include "main/app/frm_info.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/realtime.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using app::Form;
using realtime::frmNMEAViewer;

const char* const kRmc = "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D";
const char* const kGsv = "$GPGSV,3,1,09,01,05,060,18,02,17,259,43,04,56,287,28,07,28,169,42*70";
const char* const kGsa = "$GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,2.5,1.3,2.1*39";
const char* const kRmv = "$PGRMV,0.0,0.0,0.0*59";

struct Intake : ::testing::Test {
    apptest::Rig r;
    void SetUp() override
    {
        r.load();
        r.dialogs.clear();
    }
    void nmea(const std::string& line, bool chkerr = false) { r.main.realtime().garmin_NMEA(line, chkerr); }
    frmNMEAViewer& viewer() { return r.main.realtime().NMEAViewer(); }
    Form& form() { return *r.main.form("frmNMEAViewer"); }
    const std::string& text() { return viewer().Text(); }
    bool box(const std::string& name) { return viewer().control(name).value; }
    std::string stored() { return r.settings.GetSetting("NMEA", "checkboxes", "(none)"); }
    void show() { r.main.menu_Click("mnuViewNMEA"); }
};

TEST_F(Intake, LabelsViewerAndNoValuesWhileRealTimeIsOff)
{
    EXPECT_FALSE(viewer().Loaded());
    nmea("$PGRMT,GPS 48 VER 2.02*4F,");
    nmea(kGsa, true); // a checksum error changes nothing
    EXPECT_EQ(r.main.lblGPSDesc1.caption, "NMEA Mode");
    EXPECT_EQ(r.main.frmInfo().lblProductID.caption, "NMEA");
    EXPECT_EQ(r.main.frmInfo().lblFormat1.caption, "");
    EXPECT_EQ(r.main.state().nmea_values.Count(), 0);
    // The viewer was made hidden by the first line and took both.
    EXPECT_TRUE(viewer().Loaded());
    EXPECT_FALSE(viewer().Visible());
    EXPECT_EQ(text(), std::string("$PGRMT,GPS 48 VER 2.02*4F,\r\n") + kGsa);
}

TEST_F(Intake, LineWithoutCommaOnlyUpdatesTheLabels)
{
    nmea("GARMIN GPS 48 READY");
    EXPECT_EQ(r.main.lblGPSDesc1.caption, "NMEA Mode");
    EXPECT_FALSE(viewer().Loaded());
    r.main.state().real_time = true;
    nmea("$PGRMZ");
    EXPECT_EQ(r.main.state().nmea_values.Count(), 0);
}

TEST_F(Intake, RealTimeStoresTheTableValuesOfSeveralSentences)
{
    r.main.state().real_time = true;
    nmea(kGsa);
    nmea("$PGRMZ,48,f,3*1B");
    nmea("$PGRMM,WGS 84*06");
    nmea(kGsv);
    nmea("$GPGSA,M,2,01,02,03,04,05,06,07,08,09,10,11,12,3.1,2.1"); // short: vdop stays
    const auto& v = r.main.state().nmea_values;
    EXPECT_EQ(v.Count(), 6);
    EXPECT_EQ(v.Item("pfix").ToString(), "M");
    EXPECT_EQ(v.Item("pdop").ToString(), "3.1");
    EXPECT_EQ(v.Item("vdop").ToString(), "2.1");
    EXPECT_EQ(v.Item("datum").ToString(), "WGS 84");
    EXPECT_NEAR(v.Item("alt").ToDouble(), 14.63, 0.01);
}

TEST_F(Intake, PortSearchRecordsThePortOnce)
{
    r.main.state().GPS_Scanning = true;
    r.main.state().real_time = true;
    nmea(kRmc);
    nmea(kRmc);
    ASSERT_EQ(r.main.state().GPS_UnitList.size(), 1u);
    EXPECT_EQ(r.main.state().nmea_values.Count(), 0);
    EXPECT_FALSE(viewer().Loaded());
}

TEST_F(Intake, ViewerFilter)
{
    show();
    ASSERT_TRUE(viewer().Visible());
    for (const auto* b : viewer().getNMEACodes()) EXPECT_TRUE(b->value) << b->name;
    nmea(kRmc);
    nmea(kRmv); // no box names it: OTHER, ticked
    ASSERT_EQ(form().SetValue("chkGPGSV", false), Form::Done);
    ASSERT_EQ(form().SetValue("chkOTHER", false), Form::Done);
    nmea(kGsv);
    nmea(kRmv);
    nmea(kGsa);
    EXPECT_EQ(text(), std::string(kRmc) + "\r\n" + kRmv + "\r\n" + kGsa);
    // Lines go in at the caret.
    viewer().SetSelStart(0);
    nmea(kRmc);
    EXPECT_EQ(text().substr(0, std::string(kRmc).size() + 2), std::string("\r\n") + kRmc);
    EXPECT_EQ(viewer().SelStart(), std::string(kRmc).size() + 2);
}

TEST_F(Intake, StoredBoxStates)
{
    r.settings.SaveSetting("NMEA", "checkboxes", "0,1,0,x,0,2,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    show();
    EXPECT_FALSE(box("chkGPALM"));
    EXPECT_TRUE(box("chkGPAPB"));
    EXPECT_TRUE(box("chkGPBWC")); // "x": as designed, ticked
    EXPECT_TRUE(box("chkGPDBT")); // 2 is no state of ours: ticked
    EXPECT_FALSE(box("chkOTHER")); // value 35; the two after it are ignored
    int unload_cancel = 0;
    r.main.Form_Unload(unload_cancel);
    EXPECT_EQ(stored(), "0,1,0,1,0,1,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
}

TEST_F(Intake, CloseHidesAndKeepsTextAndStates)
{
    show();
    nmea(kRmc);
    ASSERT_EQ(form().Click("cmdClose"), Form::Done);
    EXPECT_FALSE(viewer().Visible());
    nmea(kRmc);
    EXPECT_EQ(text(), std::string(kRmc) + "\r\n" + kRmc);
    EXPECT_EQ(stored(), "(none)");
    EXPECT_EQ(form().SetValue("chkGPRMC", false), Form::Disabled);
}

TEST_F(Intake, ResizeKeepsTheLeastSize)
{
    show();
    ASSERT_EQ(form().Resize(3000, 3000), Form::Done);
    EXPECT_EQ(viewer().Width, 6500);
    EXPECT_EQ(viewer().Height, 6700);
    EXPECT_EQ(viewer().control("tbxNMEAStrings").width, 6200);
    EXPECT_EQ(viewer().control("tbxNMEAStrings").height, 3300);
    form().Resize(9000, 8000);
    EXPECT_EQ(viewer().control("tbxNMEAStrings").width, 8700);
    EXPECT_EQ(viewer().control("tbxNMEAStrings").height, 4600);
    viewer().WindowState = 1; // minimised: nothing moves
    viewer().Width = 100;
    viewer().Form_Resize();
    EXPECT_EQ(viewer().Width, 100);
    EXPECT_EQ(viewer().control("tbxNMEAStrings").width, 8700);
}

TEST_F(Intake, Save)
{
    show();
    nmea(kRmc);
    nmea(kGsa);
    const std::string path = r.dir.path + "/nmea.txt";
    auto read = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    r.dialogs.file("", true); // cancelled: nothing at all
    form().Click("cmdSave");
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.boxes()[0].text, "Text File (*.txt)|*.txt");
    EXPECT_FALSE(r.dialogs.boxes()[0].default_text.empty()); // opens in the current directory

    // An existing file: Yes overwrites it.
    { std::ofstream(path) << "old"; }
    nmea(kRmc);
    r.dialogs.clear();
    r.dialogs.file(path);
    r.dialogs.answer(platform::vbYes);
    form().Click("cmdSave");
    EXPECT_EQ(read(), text() + "\r\n");
    EXPECT_EQ(r.dialogs.boxes().size(), 3u);
    EXPECT_EQ(r.dialogs.boxes()[2].text, "File was written successfully to " + path);
}

TEST_F(Intake, SaveThatFailsSaysSoAndKeepsTheText)
{
    show();
    nmea(kRmc);
    r.dialogs.file(r.dir.path + "/no/such/folder/nmea.txt");
    form().Click("cmdSave");
    ASSERT_EQ(r.dialogs.boxes().size(), 2u);
    EXPECT_NE(r.dialogs.boxes()[1].text.find("could not be written"), std::string::npos);
    EXPECT_EQ(r.dialogs.boxes()[1].icon(), platform::vbCritical);
    EXPECT_EQ(text(), kRmc);
}

} // namespace
