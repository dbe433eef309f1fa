// The CEP calculator: three passes over the rows (sums, squared deviations,
// distances from the centre), the distances sorted, and the radius for each
// share read at its index in the sorted list.
#include "main/coords/cep.h"

#include "platform/automation/collection_object.h"

#include "main/app/app_state.h"
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/realtime/realtime.h"
#include "main/table/table.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace coords {

namespace vb = platform::vb;
using app::DialogControl;
using platform::Variant;
using platform::VbError;

namespace {

const char* const kSource = "frmCalculateCEP";
constexpr std::array<const char*, 4> kShares = {"50", "90", "95", "98"};
constexpr std::array<double, 4> kShareValues = {0.5, 0.9, 0.95, 0.98};
// The controls that follow the known-coordinate option.
constexpr std::array<const char*, 5> kKnownControls = {"lblX", "lblY", "tbxX", "tbxY", "cbxProjected"};

std::vector<DialogControl> make_controls(int width, int height)
{
    using K = DialogControl::Kind;
    auto c = [](const char* name, K kind, const char* caption, int l, int t, int w, int h, const char* tip = "") {
        DialogControl d;
        d.name = name;
        d.kind = kind;
        d.caption = caption;
        d.tooltip = tip;
        d.left = l, d.top = t, d.width = w, d.height = h;
        return d;
    };
    std::vector<DialogControl> v = {
        c("lblTitle", K::Label, "Specify Known Coordinate Location and click 'Calculate'", 120, 120, width - 300, 495),
        c("optAverage", K::Option, "Average XY", 240, 720, 2000, 255),
        c("optKnown", K::Option, "Known Coordinate", 240, 1020, 2000, 255,
          "Assumes Lat/Long unless you select the Projected checkbox"),
        c("lblX", K::Label, "X:", 480, 1410, 300, 255),
        c("tbxX", K::Text, "", 840, 1380, 1500, 285),
        c("lblY", K::Label, "Y:", 480, 1770, 300, 255),
        c("tbxY", K::Text, "", 840, 1740, 1500, 285),
        c("cbxProjected", K::Check, "Projected", 2520, 1560, 1500, 255,
          "Projected Coordinates Must Match Projection Specified in File=>Set Projection"),
        c("cmdCalculate", K::Button, "Calculate", 120, 2220, 1215, 375),
        c("cmdPlot", K::Button, "Plot - ArcMap", 1440, 2220, 1575, 375, "Plotting only works in ArcMap"),
        c("cmdQuit", K::Button, "Quit", 3120, 2220, 1215, 375),
        c("tbxResults", K::Text, "", 120, 2760, width - 300, height - 3300),
    };
    v[1].value = true; // the mean is the centre until a known coordinate is chosen
    for (const char* name : kKnownControls)
        for (auto& d : v)
            if (d.name == name) d.enabled = false;
    v[9].enabled = false; // cmdPlot: nothing to plot yet
    return v;
}

using platform::CollectionObject;

// The box of an error that stopped a handler.
void error_box(platform::Dialogs& dialogs, const VbError& e, const std::string& procedure)
{
    dialogs.MsgBox("Error " + std::to_string(e.number) + ": " + e.description + ". Source: " + e.source,
                   platform::vbCritical, std::string(kSource) + "." + procedure);
}

// The general date form of the report's first line.
std::string general_date(const vb::Date& d)
{
    if (d.hour == 0 && d.minute == 0 && d.second == 0) return vb::Format(d, "m/d/yyyy");
    return vb::Format(d, "m/d/yyyy h:nn:ss AM/PM");
}

} // namespace

std::vector<double>& BubbleSort(std::vector<double>& list, std::optional<std::size_t> last, bool descending)
{
    if (list.empty()) return list;
    const std::size_t end = std::min(last.value_or(list.size() - 1), list.size() - 1) + 1;
    // A total order, so a NaN cannot upset the sort: it goes after every number.
    auto less = [](double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); };
    if (descending)
        std::stable_sort(list.begin(), list.begin() + std::ptrdiff_t(end), [&](double a, double b) { return less(b, a); });
    else
        std::stable_sort(list.begin(), list.begin() + std::ptrdiff_t(end), less);
    return list;
}

std::string Report_Number(double value, int decimals)
{
    std::string text = vb::Format(value, decimals > 0 ? "0." + std::string(std::size_t(decimals), '0') : "0");
    const std::size_t digits_from = text.find_first_of("0123456789");
    std::size_t digits_to = text.find('.');
    if (digits_from == std::string::npos) return text;
    if (digits_to == std::string::npos) digits_to = text.size();
    for (std::size_t at = digits_to; at > digits_from + 3; at -= 3) text.insert(at - 3, ",");
    return text;
}

frmCalculateCEP::frmCalculateCEP(app::frmMain& main) : main_(main) {}

// ---------------------------------------------------------------- controls

DialogControl* frmCalculateCEP::find(const std::string& name)
{
    for (auto& c : controls_)
        if (vb::SameLCase(c.name, name)) return &c;
    return nullptr;
}

DialogControl& frmCalculateCEP::at(const std::string& name)
{
    return const_cast<DialogControl&>(static_cast<const frmCalculateCEP&>(*this).control(name));
}

// Before the window is loaded it has no controls.
const DialogControl& frmCalculateCEP::control(const std::string& name) const
{
    for (const auto& c : controls_)
        if (vb::SameLCase(c.name, name)) return c;
    throw VbError(730, kSource, "Control '" + name + "' not found");
}

app::Form::Result frmCalculateCEP::Click(const std::string& name, int)
{
    DialogControl* c = find(name);
    if (!c || (c->kind != DialogControl::Button && c->kind != DialogControl::Option)) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    const std::string n = vb::LCase(name);
    if (n == "cmdcalculate")
        cmdCalculate_Click();
    else if (n == "cmdplot")
        cmdPlot_Click();
    else if (n == "cmdquit")
        cmdQuit_Click();
    else {
        at("optAverage").value = n == "optaverage";
        at("optKnown").value = n == "optknown";
        n == "optaverage" ? optAverage_Click() : optKnown_Click();
    }
    return Done;
}

app::Form::Result frmCalculateCEP::SetValue(const std::string& name, bool checked)
{
    DialogControl* c = find(name);
    if (!c || c->kind != DialogControl::Check) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    c->value = checked;
    changed();
    return Done;
}

app::Form::Result frmCalculateCEP::SetText(const std::string& name, const std::string& text)
{
    DialogControl* c = find(name);
    if (!c || c->kind != DialogControl::Text) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    c->text = text;
    if (c->name == "tbxX")
        tbxX_Change();
    else if (c->name == "tbxY")
        tbxY_Change();
    else
        changed();
    return Done;
}

// ---------------------------------------------------------------- lifecycle

void frmCalculateCEP::Form_Load()
{
    controls_ = make_controls(Width, Height);
    cep_.Clear();
    WindowState = 0;
    loaded_ = true;
}

void frmCalculateCEP::Show()
{
    if (!loaded_) Form_Load();
    visible_ = true;
    Form_Resize();
    changed();
}

void frmCalculateCEP::cmdQuit_Click()
{
    loaded_ = visible_ = false;
    changed();
}

void frmCalculateCEP::Form_Resize()
{
    if (!loaded_) return;
    if (WindowState == 0) {
        if (Width < 4000) Width = 4300;
        if (Height < 4500) Height = 4500;
        at("tbxResults").width = Width - 300;
        at("tbxResults").height = Height - 3300;
        at("lblTitle").width = Width - 300;
    }
    changed();
}

void frmCalculateCEP::optAverage_Click()
{
    const bool known = at("optKnown").value;
    for (const char* name : kKnownControls) at(name).enabled = known;
    at("cmdCalculate").enabled = true;
    changed();
}

void frmCalculateCEP::optKnown_Click()
{
    const bool known = at("optKnown").value;
    for (const char* name : kKnownControls) at(name).enabled = known;
    tbxX_Change();
}

void frmCalculateCEP::tbxX_Change()
{
    at("cmdCalculate").enabled = vb::IsNumeric(at("tbxX").text) && vb::IsNumeric(at("tbxY").text);
    changed();
}

void frmCalculateCEP::tbxY_Change() { tbxX_Change(); }

// ---------------------------------------------------------------- calculation

void frmCalculateCEP::cmdCalculate_Click()
{
    // Events run between rows; a second click meanwhile starts nothing.
    if (calculating_) return;
    calculating_ = true;
    try {
        calculate();
    } catch (const VbError& e) {
        error_box(main_.dialogs(), e, "cmdCalculate_Click");
    }
    calculating_ = false;
    changed();
}

void frmCalculateCEP::progress(const std::string& text, int count)
{
    at("tbxResults").text = text + std::to_string(count);
    // The view redraws the progress a few times a second, not once a row.
    const std::int64_t now_us = main_.pump().clock().now_us();
    if (count == 0 || now_us - last_notice_us_ >= 100'000) {
        last_notice_us_ = now_us;
        changed();
    }
    main_.pump().run_pending();
}

double frmCalculateCEP::cell(int row, int col, const char* field) const
{
    const platform::Grid& grid = main_.MSFlexGrid1;
    if (col < 0) throw VbError(381, kSource, std::string("The table has no \"") + field + "\" column");
    if (row < 1 || row >= grid.Rows())
        throw VbError(381, kSource, "Row " + std::to_string(row) + " is no longer in the table");
    const std::string& text = grid.TextMatrix(row, col);
    if (!vb::IsNumeric(text))
        throw VbError(13, kSource,
                      "Type mismatch: \"" + text + "\" in row " + std::to_string(row) + ", column \"" + field +
                          "\" is not a number");
    return vb::CDbl(text);
}

bool frmCalculateCEP::calculate()
{
    cep_ = platform::Collection<Variant>();
    flxgrd::Table& table = main_.table();
    const std::array<const char*, 4> fields = {"long", "lat", "x_proj", "y_proj"};
    std::array<int, 4> cols{};
    for (std::size_t f = 0; f < 4; ++f) cols[f] = table.Column_Find(fields[f], true);

    auto [first, last] = table.Selection_GetRange(main_.MSFlexGrid1);
    if (std::abs(last - first) < 1) {
        main_.dialogs().MsgBox("Only one record selected. You must have at least 2 records selected in the Data "
                               "Table to calculate CEP",
                               platform::vbCritical, "Calculate CEP");
        return false;
    }
    if (first > last) std::swap(first, last);

    // Sums and means of longitude, latitude, x_proj and y_proj.
    std::array<double, 4> sum{}, mean{}, squares{}, sd{};
    int n = 0;
    for (int row = first; row <= last; ++row) {
        progress("Finding Min/Max/Sum of XY: ", n);
        for (std::size_t f = 0; f < 4; ++f) sum[f] += cell(row, cols[f], fields[f]);
        ++n;
    }
    for (std::size_t f = 0; f < 4; ++f) mean[f] = sum[f] / n;

    int done = 0;
    for (int row = first; row <= last; ++row) {
        progress("Calculating Sum of Squares: ", done);
        for (std::size_t f = 0; f < 4; ++f) {
            const double d = cell(row, cols[f], fields[f]) - mean[f];
            squares[f] += d * d;
        }
        ++done;
    }
    for (std::size_t f = 0; f < 4; ++f) sd[f] = n > 1 ? std::sqrt(squares[f] / (n - 1)) : 0.0;

    // The centre: longitude, latitude, projected x, projected y.
    std::array<double, 4> centre = mean;
    if (at("optKnown").value) {
        double x = vb::CDbl(at("tbxX").text), y = vb::CDbl(at("tbxY").text);
        centre = {x, y, x, y};
        if (at("cbxProjected").value) {
            // The typed pair is in the table's projection; distances need
            // its latitude and longitude. When that conversion fails (it has
            // said why), a report from the projected numbers would be
            // meaningless: stop here.
            if (!main_.coords().Project_Point(x, y, false, centre[0], centre[1])) return false;
        }
    }

    std::vector<double> distances(std::size_t(n), 0.0);
    done = 0;
    for (int row = first; row <= last; ++row) {
        progress("Calculating Distances: ", done);
        const double lon = cell(row, cols[0], fields[0]), lat = cell(row, cols[1], fields[1]);
        distances[std::size_t(done)] = realtime::Calculate_Distance(centre[0], centre[1], lon, lat, "k") * 1000.0;
        ++done;
    }

    progress("Sorting Distances: ", done);
    BubbleSort(distances);
    std::array<double, 4> radius{};
    const double upper = double(n - 1);
    for (std::size_t p = 0; p < 4; ++p) radius[p] = distances[std::size_t(vb::CInt(upper * kShareValues[p]))];

    const std::string crlf = "\r\n";
    std::string report = "RESULTS: " + general_date(now ? now() : vb::Now()) + crlf + crlf;
    report += "MEAN XY: " + Report_Number(mean[0], 6) + ", " + Report_Number(mean[1], 6) + crlf;
    report += "         " + Report_Number(mean[2], 6) + ", " + Report_Number(mean[3], 6) + crlf + crlf;
    report += "SD: " + Report_Number(sd[0], 6) + ", " + Report_Number(sd[1], 6) + crlf;
    report += "    " + Report_Number(sd[2], 6) + ", " + Report_Number(sd[3], 6) + crlf + crlf;
    report += "Circular Error of Probabilities (CEP) in Meters:";
    for (std::size_t p = 0; p < 4; ++p)
        report += crlf + "    " + kShares[p] + "% = " + Report_Number(radius[p], 2);
    at("tbxResults").text = std::move(report);

    platform::VariantArray coordinates(0, 4);
    for (std::int32_t i = 0; i < 4; ++i) coordinates.at(i) = centre[std::size_t(i)];
    cep_.Add(Variant(std::move(coordinates)), "Coordinates");
    for (std::size_t p = 0; p < 4; ++p) cep_.Add(Variant(radius[p]), kShares[p]);

    if (main_.state().arcmap_extension) at("cmdPlot").enabled = true;
    return true;
}

void frmCalculateCEP::cmdPlot_Click()
{
    const app::AppState& s = main_.state();
    if (!s.arcmap_extension || !s.arcmap_running) return;
    try {
        platform::CallByName(*s.arcmap_extension, "PlotCEP",
                             {Variant(platform::ObjectRef(std::make_shared<CollectionObject>(cep_)))});
    } catch (const VbError& e) {
        error_box(main_.dialogs(), e, "cmdPlot_Click");
    }
}

} // namespace coords
