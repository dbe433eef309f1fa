// The CEP calculator over a records table: report lines and CEP indices,
// known centres (typed and projected), the enabling rules, the one-record
// and bad-cell errors, the plot hand-over, the layout; and the great-circle
// distance behind it.
#include "tests/main/coords/harness.h"

#include "main/app/form.h"
#include "main/coords/cep.h"
#include "main/realtime/realtime.h"
#include "platform/automation/dispatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using coordstest::Harness;
namespace vb = platform::vb;
using app::Form;

constexpr double kKmPerDegree = 111.18957696; // one degree of arc, 60 x 1.1515 x 1.609344

struct Cep : ::testing::Test {
    explicit Cep(bool real_library = false) : h({}, real_library) {}
    Harness h;
    void SetUp() override
    {
        h.write_epsg();
        h.load();
        h.main.menu_Click("mnuCalculateCEP");
        h.dialogs.clear();
        cep().now = [] { return vb::Date{2026, 12, 9, 21, 5, 7}; };
    }
    coords::frmCalculateCEP& cep() { return h.main.coords().CalculateCEP(); }
    Form& form() { return *h.main.form("frmCalculateCEP"); }
    void fix(double lon, double lat, const std::string& x = "0", const std::string& y = "0")
    {
        h.rows({vb::CStr(lat) + ";" + vb::CStr(lon) + ";" + x + ";" + y},
               h.col("lat") + ";" + h.col("long") + ";" + h.col("x_proj") + ";" + h.col("y_proj"));
    }
    std::string results() { return cep().control("tbxResults").text; }
    std::vector<std::string> lines() { return vb::Split(results(), "\r\n"); }
    void known(const std::string& x, const std::string& y, bool projected = false)
    {
        ASSERT_EQ(form().Click("optKnown"), Form::Done);
        ASSERT_EQ(form().SetText("tbxX", x), Form::Done);
        ASSERT_EQ(form().SetText("tbxY", y), Form::Done);
        if (projected) ASSERT_EQ(form().SetValue("cbxProjected", true), Form::Done);
    }
    double radius(const char* share) { return cep().CEP().Item(share).ToDouble(); }
};

TEST(CalculateDistance, UnitsAndIdenticalPositions)
{
    EXPECT_NEAR(realtime::Calculate_Distance(-93, 45, -93, 46, ""), 69.09, 1e-9);
    EXPECT_NEAR(realtime::Calculate_Distance(-93, 45, -93, 46, "k"), kKmPerDegree, 1e-9);
    EXPECT_NEAR(realtime::Calculate_Distance(-93, 45, -93, 46, "N"), 59.997756, 1e-9);
    EXPECT_NEAR(realtime::Calculate_Distance(0, 0, 180, 0, "K"), 180 * kKmPerDegree, 1e-6);
    // Several of these latitudes round the cosine of a zero angle past 1,
    // others just below it.
    int past_one = 0;
    for (int i = 0; i < 200; ++i) {
        const double lat = i * 0.37 + 0.011, r = lat * std::numbers::pi / 180.0;
        past_one += std::sin(r) * std::sin(r) + std::cos(r) * std::cos(r) > 1.0;
        EXPECT_EQ(realtime::Calculate_Distance(-93.25, lat, -93.25, lat, "K"), 0.0) << lat;
        const double close = realtime::Calculate_Distance(-93.25, lat, -93.25 + 1e-12, lat, "K");
        EXPECT_TRUE(close >= 0 && close < 1e-3) << lat << " " << close;
    }
    EXPECT_GT(past_one, 0);
}

TEST(CepHelpers, SortAndReportNumbers)
{
    std::vector<double> v{5, 1, 4, 2, 3};
    EXPECT_EQ(coords::BubbleSort(v, 2), (std::vector<double>{1, 4, 5, 2, 3}));
    EXPECT_EQ(coords::BubbleSort(v), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(coords::BubbleSort(v, std::nullopt, true), (std::vector<double>{5, 4, 3, 2, 1}));
    std::vector<double> none;
    EXPECT_TRUE(coords::BubbleSort(none).empty());

    EXPECT_EQ(coords::Report_Number(500123.456789, 6), "500,123.456789");
    EXPECT_EQ(coords::Report_Number(-1234567.5, 2), "-1,234,567.50");
    EXPECT_EQ(coords::Report_Number(999.999, 2), "1,000.00");
    EXPECT_EQ(coords::Report_Number(123.4, 6), "123.400000");
}

TEST_F(Cep, MeanCentreReport)
{
    fix(-93, 10.0, "500000", "1105000");
    fix(-93, 10.2, "500246.913578", "1127000");
    ASSERT_EQ(form().Click("cmdCalculate"), Form::Done);
    EXPECT_EQ(results(), "RESULTS: 12/9/2026 9:05:07 PM\r\n"
                         "\r\n"
                         "MEAN XY: -93.000000, 10.100000\r\n"
                         "         500,123.456789, 1,116,000.000000\r\n"
                         "\r\n"
                         "SD: 0.000000, 0.141421\r\n"
                         "    174.594265, 15,556.349186\r\n"
                         "\r\n"
                         "Circular Error of Probabilities (CEP) in Meters:\r\n"
                         "    50% = 11,118.96\r\n"
                         "    90% = 11,118.96\r\n"
                         "    95% = 11,118.96\r\n"
                         "    98% = 11,118.96");
    const auto& c = cep().CEP();
    ASSERT_EQ(c.Count(), 5);
    const auto& centre = c.Item("Coordinates").ToArray();
    EXPECT_EQ(centre.UBound(), 3);
    EXPECT_DOUBLE_EQ(centre.at(1).ToDouble(), 10.1);
    EXPECT_DOUBLE_EQ(centre.at(2).ToDouble(), 500123.456789);
    EXPECT_NEAR(radius("98"), 0.1 * kKmPerDegree * 1000, 1e-4);
    EXPECT_FALSE(cep().control("cmdPlot").enabled); // no ArcMap link
}

// Fixes k metres-ish apart along a meridian from a known centre, in a
// shuffled order: the CEP for each share is the sorted distance at its index.
TEST_F(Cep, CepIndicesForTenAndElevenFixes)
{
    for (int n : {10, 11}) {
        h.main.table().Table_Clear();
        h.main.table().Table_SetType("waypoint");
        for (int i = 0; i < n; ++i) fix(-93, 45 + ((i * 7) % n) * 0.001);
        known("-93", "45");
        ASSERT_EQ(form().Click("cmdCalculate"), Form::Done);
        const std::vector<int> want = n == 10 ? std::vector<int>{4, 8, 9, 9} : std::vector<int>{5, 9, 10, 10};
        const char* shares[4] = {"50", "90", "95", "98"};
        for (int p = 0; p < 4; ++p) {
            EXPECT_NEAR(radius(shares[p]), want[p] * 0.001 * kKmPerDegree * 1000, 1e-3) << n << " " << shares[p];
            EXPECT_EQ(lines()[9 + p], std::string("    ") + shares[p] + "% = " +
                                          coords::Report_Number(radius(shares[p]), 2));
        }
    }
}

TEST_F(Cep, KnownLatLongCentreOnTheFirstFixAndTheSelection)
{
    fix(-93.5, 45.25);
    fix(-93.5, 45.26);
    fix(-80, 30); // outside the selection
    h.main.state().selection_count = 2;
    h.main.state().first_selected_row = 1;
    h.main.state().last_selected_row = 2;
    known("-93.5", "45.25");
    ASSERT_EQ(form().Click("cmdCalculate"), Form::Done);
    const std::string second = coords::Report_Number(0.01 * kKmPerDegree * 1000, 2);
    const std::vector<std::string> all = lines();
    EXPECT_EQ(std::vector<std::string>(all.begin() + 9, all.end()),
              (std::vector<std::string>{"    50% = 0.00", "    90% = " + second, "    95% = " + second,
                                        "    98% = " + second}));
    const auto& centre = cep().CEP().Item("Coordinates").ToArray();
    for (int i : {0, 2}) EXPECT_EQ(centre.at(i).ToDouble(), -93.5);
    for (int i : {1, 3}) EXPECT_EQ(centre.at(i).ToDouble(), 45.25);
}

TEST_F(Cep, OneRecordAndBadCellsStopWithABox)
{
    fix(-93, 45);
    cep().cmdCalculate_Click();
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text, "Only one record selected. You must have at least 2 records selected in "
                                         "the Data Table to calculate CEP");
    EXPECT_EQ(h.dialogs.boxes()[0].title, "Calculate CEP");
    EXPECT_EQ(h.dialogs.boxes()[0].icon(), platform::vbCritical);
    EXPECT_EQ(results(), "");

    h.dialogs.clear();
    h.rows({"45.1;-93"}, h.col("lat") + ";" + h.col("long")); // no x_proj
    cep().cmdCalculate_Click();
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].title, "frmCalculateCEP.cmdCalculate_Click");
    EXPECT_EQ(h.dialogs.boxes()[0].text.rfind("Error 13: Type mismatch", 0), 0u) << h.dialogs.boxes()[0].text;
    EXPECT_NE(h.dialogs.boxes()[0].text.find(". Source: frmCalculateCEP"), std::string::npos);
    EXPECT_EQ(results(), "Finding Min/Max/Sum of XY: 1"); // what it showed last
}

TEST_F(Cep, EnablingRules)
{
    auto enabled = [&](const char* n) { return cep().control(n).enabled; };
    EXPECT_TRUE(cep().control("optAverage").value);
    EXPECT_FALSE(enabled("tbxX") || enabled("tbxY") || enabled("lblX") || enabled("lblY") ||
                 enabled("cbxProjected"));
    EXPECT_EQ(form().SetText("tbxX", "1"), Form::Disabled);
    EXPECT_TRUE(enabled("cmdCalculate"));
    EXPECT_FALSE(enabled("cmdPlot"));

    form().Click("optKnown"); // both boxes still empty
    EXPECT_TRUE(enabled("tbxX") && enabled("tbxY") && enabled("lblX") && enabled("lblY") && enabled("cbxProjected"));
    EXPECT_FALSE(enabled("cmdCalculate"));
    form().SetText("tbxX", "-93.5");
    form().SetText("tbxY", "45");
    EXPECT_TRUE(enabled("cmdCalculate"));
    form().SetText("tbxX", "west");
    EXPECT_FALSE(enabled("cmdCalculate"));
    EXPECT_EQ(form().Click("cmdCalculate"), Form::Disabled);
    form().Click("optAverage");
    EXPECT_TRUE(enabled("cmdCalculate"));
    EXPECT_FALSE(enabled("tbxX"));
    EXPECT_EQ(form().Click("cmdPlot"), Form::Disabled);
    EXPECT_EQ(form().Click("lblTitle"), Form::NoControl);
}

TEST_F(Cep, AFailedInverseProjectionStopsBeforeTheReport)
{
    fix(-93, 45);
    fix(-93, 45.1);
    h.settings.SaveSetting("proj", "proj", "26915");
    h.proj->fail_at = 1;
    known("500000", "5000000", true);
    form().Click("cmdCalculate");
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text.rfind("Projection Error [-14]", 0), 0u);
    EXPECT_EQ(results().find("RESULTS"), std::string::npos);
    EXPECT_FALSE(cep().CEP().Exists("50"));
}

// Plotting goes to the ArcMap link's PlotCEP, with the collection by key.
class FakePlotter : public platform::Dispatch {
public:
    std::optional<platform::DispId> GetIDOfName(std::string_view name) const override
    {
        return platform::NameEquals(name, "PlotCEP") ? std::optional<platform::DispId>(1) : std::nullopt;
    }
    platform::Variant Invoke(platform::DispId, platform::InvokeKind, std::vector<platform::Variant>& a) override
    {
        platform::Dispatch& c = *a.at(0).ToObject();
        if (fail) throw platform::VbError(91, "clsArcMap.PlotCEP", "Object variable not set");
        radius95 = platform::CallByName(c, "Item", {"95"}).ToDouble();
        count = platform::GetByName(c, "Count").ToInt32();
        return {};
    }
    double radius95 = -1;
    int count = 0;
    bool fail = false;
};

TEST_F(Cep, PlotNeedsTheLinkAndArcMapRunning)
{
    auto plotter = std::make_shared<FakePlotter>();
    h.main.state().arcmap_extension = plotter;
    fix(-93, 45);
    fix(-93, 45.001);
    form().Click("cmdCalculate");
    ASSERT_TRUE(cep().control("cmdPlot").enabled);
    form().Click("cmdPlot");
    EXPECT_EQ(plotter->count, 0); // ArcMap is not running
    h.main.state().arcmap_running = true;
    form().Click("cmdPlot");
    EXPECT_EQ(plotter->count, 5);
    EXPECT_DOUBLE_EQ(plotter->radius95, radius("95"));
    plotter->fail = true;
    form().Click("cmdPlot");
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text, "Error 91: Object variable not set. Source: clsArcMap.PlotCEP");
    EXPECT_EQ(h.dialogs.boxes()[0].title, "frmCalculateCEP.cmdPlot_Click");
}

TEST_F(Cep, ResizeKeepsAMinimumAndQuitUnloads)
{
    cep().Width = 3000;
    cep().Height = 3000;
    cep().Form_Resize();
    EXPECT_EQ(cep().Width, 4300);
    EXPECT_EQ(cep().Height, 4500);
    EXPECT_EQ(cep().control("tbxResults").width, 4000);
    EXPECT_EQ(cep().control("tbxResults").height, 1200);
    EXPECT_EQ(cep().control("lblTitle").width, 4000);
    cep().WindowState = 1;
    cep().Width = 100;
    cep().Form_Resize();
    EXPECT_EQ(cep().Width, 100);

    EXPECT_TRUE(form().Visible());
    EXPECT_EQ(form().Click("cmdQuit"), Form::Done);
    EXPECT_FALSE(form().Loaded());
    h.main.menu_Click("mnuCalculateCEP");
    EXPECT_TRUE(form().Visible());
    EXPECT_EQ(cep().WindowState, 0);
}

struct CepProjected : Cep {
    CepProjected() : Cep(true) {}
};

// A known centre typed as EPSG 26915 x/y on the first fix, converted back
// by the real library.
TEST_F(CepProjected, ProjectedKnownCentre)
{
    h.settings.SaveSetting("proj", "proj", "26915");
    double lon = -93.5, lat = 45.25, x = 0, y = 0;
    ASSERT_TRUE(h.main.coords().Project_Point(lon, lat, true, x, y));
    fix(-93.5, 45.25, vb::CStr(x), vb::CStr(y));
    fix(-93.5, 45.26, vb::CStr(x), vb::CStr(y + 1111));
    known(vb::CStr(x), vb::CStr(y), true);
    form().Click("cmdCalculate");
    ASSERT_TRUE(h.dialogs.boxes().empty()) << h.dialogs.boxes()[0].text;
    EXPECT_EQ(lines()[9], "    50% = 0.00");
    EXPECT_EQ(lines()[12], "    98% = " + coords::Report_Number(0.01 * kKmPerDegree * 1000, 2));
    const auto& centre = cep().CEP().Item("Coordinates").ToArray();
    EXPECT_NEAR(centre.at(0).ToDouble(), -93.5, 1e-9);
    EXPECT_NEAR(centre.at(1).ToDouble(), 45.25, 1e-9);
    EXPECT_EQ(centre.at(2).ToDouble(), vb::CDbl(vb::CStr(x)));
}

} // namespace
