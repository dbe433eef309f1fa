// Converting the table and single points between WGS84 longitude/latitude
// and the current projection, the projection catalogue behind it, and the
// projection commands of the main window's menus.
#include "main/coords/coords.h"

#include "main/coords/cep.h"
#include "main/app/frm_main.h"
#include "main/app/properties.h"
#include "main/table/table.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/proj/proj.h"
#include "platform/settings/settings.h"
#include "platform/text/decimal.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <array>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace coords {

namespace vb = platform::vb;
using platform::Variant;
using platform::VbError;

namespace {

// The source system of every conversion, passed to the library as written.
const char* const kWgs84 = "+proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs  no_defs <>";
// Degrees to radians and back, to the 15 digits the conversions have always used.
constexpr double kDegToRad = 0.0174532925199433;
constexpr double kRadToDeg = 57.2957795130823;
// The NAD27 correction grids tried in proj/nad, in this order; ntv1_can.dat
// closes the list whether it is there or not.
const char* const kNad27Grids[] = {"stlrnc.dat", "stpaul.dat", "alaska.dat", "fl.dat",
                                   "hawaii.dat", "md.dat",     "prvi.dat",   "stgeorge.dat",
                                   "tn.dat",     "wi.dat",     "wo.dat",     "conus.dat"};

const char* const kDefaultQuestion = "Would you like to use the Default Projection (NAD83 - UTM Zone 15)?  "
                                     "Answering NO will allow you to select a different projection.";

bool is_file(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string error_text(const VbError& e) { return std::to_string(e.number) + " - " + e.description; }

double number_or_zero(const std::string& text) { return vb::IsNumeric(text) ? vb::CDbl(text) : 0.0; }

// A late-bound method call whose arguments go by reference.
Variant call_late(platform::Dispatch& object, std::string_view name, std::vector<Variant>& args)
{
    return object.Invoke(platform::IdOfName(object, name), platform::InvokeKind::Method, args);
}

// The two systems of one conversion; both handles are freed on every road.
class ProjRun {
public:
    explicit ProjRun(platform::ProjLibrary& lib) : lib_(lib) {}
    ~ProjRun() { free(); }
    ProjRun(const ProjRun&) = delete;
    ProjRun& operator=(const ProjRun&) = delete;

    // Creates the WGS84 source and the target; false (error recorded) when
    // either is refused.
    bool open(const std::string& target, bool forward)
    {
        source_ = lib_.pjInitPlus(kWgs84);
        note_system_error();
        if (!source_) return fail();
        target_ = lib_.pjInitPlus(target);
        note_system_error();
        if (!target_) return fail();
        from_ = forward ? source_ : target_;
        to_ = forward ? target_ : source_;
        from_geo_ = lib_.pjIsLatLong(from_) != 0;
        to_geo_ = lib_.pjIsLatLong(to_) != 0;
        return true;
    }
    // One pair in degrees (geographic) or projected units, in place; false
    // (error recorded, the pair untouched) when the library refuses it.
    bool convert(double& x, double& y)
    {
        double px = x, py = y, z = 1.0;
        if (from_geo_) px *= kDegToRad, py *= kDegToRad;
        int r = lib_.pjTransform(from_, to_, 1, 1, px, py, z);
        note_system_error();
        if (r != 0) return fail();
        if (to_geo_) px *= kRadToDeg, py *= kRadToDeg;
        x = px;
        y = py;
        return true;
    }
    void free()
    {
        if (source_) lib_.pjFree(source_);
        if (target_) lib_.pjFree(target_);
        source_ = target_ = 0;
    }
    int error = 0;        // the library's error number of the failure
    int system_error = 0; // the system's last-error value seen after a call

private:
    bool fail()
    {
        error = lib_.pjErrNum();
        return false;
    }
    void note_system_error()
    {
        if (int e = lib_.last_system_error()) system_error = e;
    }
    platform::ProjLibrary& lib_;
    platform::ProjLibrary::Handle source_ = 0, target_ = 0, from_ = 0, to_ = 0;
    bool from_geo_ = false, to_geo_ = false;
};

class CoordinatesImpl : public Coordinates {
public:
    CoordinatesImpl(app::frmMain& main, std::shared_ptr<platform::ProjLibrary> proj)
        : main_(main), proj_(std::move(proj))
    {
    }

    bool Project_Point(double& x, double& y, bool forward, double& out_x, double& out_y) override;
    bool Project_Table(bool forward) override;
    void LoadProjections(const std::string& kind) override;
    std::string getProjectionDescription() override;
    std::string getProjectionName(bool arcmap) override;
    const ProjectionCatalogue* catalogue() const override { return catalogue_ ? &*catalogue_ : nullptr; }
    void show_frmCalculateCEP() override { CalculateCEP().Show(); }
    frmCalculateCEP& CalculateCEP() override
    {
        if (!cep_) cep_ = std::make_unique<frmCalculateCEP>(main_);
        return *cep_;
    }
    void menu_Click(const std::string& name, int index) override;

    void mnuGetProjection_Click();
    void mnuSetProjection_Click() { main_.Open_Properties(0); }
    void mnuProjectCoordinates_Click();
    void mnuUnProjectCoordinates_Click();

private:
    platform::Settings& settings() { return main_.settings(); }
    platform::Dialogs& dialogs() { return main_.dialogs(); }
    std::string proj_setting(const char* key, const char* fallback = "")
    {
        return settings().GetSetting("proj", key, fallback);
    }
    platform::ProjLibrary& lib()
    {
        if (!proj_) proj_ = platform::make_proj_library(main_.program_folder());
        return *proj_;
    }
    // The ArcMap extension object when the ArcMap mode is chosen, else null.
    platform::ObjectRef arcmap_object()
    {
        if (vb::LCase(proj_setting("projfile")) != "arcmap") return nullptr;
        return main_.state().arcmap_extension;
    }
    std::string target_definition();
    bool table_arcmap(platform::Dispatch& arcmap, bool forward, const std::array<int, 4>& cols);
    bool table_proj(ProjRun& run, bool forward, const std::array<int, 4>& cols);
    // The closing step of the library road: frees the handles and shows
    // what went wrong. Returns the result to give.
    bool close_run(ProjRun& run, bool result);

    app::frmMain& main_;
    std::shared_ptr<platform::ProjLibrary> proj_;
    std::optional<ProjectionCatalogue> catalogue_;
    std::unique_ptr<frmCalculateCEP> cep_;
};

// ---------------------------------------------------------------- conversion

std::string CoordinatesImpl::target_definition()
{
    std::string def = getProjectionDescription();
    if (def.find("NAD27") != std::string::npos) {
        def += " +nadgrids=";
        std::string folder = main_.program_folder() + "/proj/nad/";
        for (const char* grid : kNad27Grids)
            if (is_file(folder + grid)) def += std::string(grid) + ",";
        def += "ntv1_can.dat";
    }
    return def;
}

bool CoordinatesImpl::close_run(ProjRun& run, bool result)
{
    run.free();
    if (run.error) {
        int n = run.error;
        dialogs().MsgBox("Projection Error [" + std::to_string(n) + "]: " + pjErrorString(n), platform::vbOKOnly);
        return false;
    }
    if (run.system_error) dialogs().MsgBox("DLL Error [" + std::to_string(run.system_error) + "]", platform::vbOKOnly);
    return result;
}

bool CoordinatesImpl::Project_Point(double& x, double& y, bool forward, double& out_x, double& out_y)
{
    platform::Cursor& cursor = main_.cursor();
    cursor.hourglass(true);
    std::optional<ProjRun> run;
    bool result = false;
    try {
        if (platform::ObjectRef arcmap = arcmap_object()) {
            std::vector<Variant> args{x, y, !forward, std::string(), proj_setting("am_proj")};
            Variant r = call_late(*arcmap, "Project_XY", args);
            out_x = args[0].ToDouble();
            out_y = args[1].ToDouble();
            cursor.hourglass(false);
            return r.ToBool();
        }
        run.emplace(lib());
        double px = x, py = y;
        if (run->open(target_definition(), forward) && run->convert(px, py)) {
            out_x = px;
            out_y = py;
            result = true;
        }
    } catch (const VbError& e) {
        cursor.hourglass(false);
        if (run) close_run(*run, false);
        dialogs().MsgBox("Error [" + std::to_string(e.number) + "]: " + e.description, platform::vbOKOnly);
        dialogs().MsgBox("Error #" + error_text(e), platform::vbCritical, "frmMain.Project_Point");
        return false;
    }
    cursor.hourglass(false);
    return close_run(*run, result);
}

bool CoordinatesImpl::Project_Table(bool forward)
{
    platform::Grid& grid = main_.MSFlexGrid1;
    if (grid.Rows() < 2 || grid.TextMatrix(1, 0).empty()) return false;

    platform::Cursor& cursor = main_.cursor();
    cursor.hourglass(true);
    const bool redraw = grid.Redraw();
    std::optional<ProjRun> run;
    std::optional<VbError> failure;
    bool result = false;
    try {
        platform::ObjectRef arcmap = arcmap_object();
        if (!arcmap) run.emplace(lib());
        if (arcmap || run->open(target_definition(), forward)) {
            // Inputs x, y, then outputs x, y. A missing column is found
            // before any cell changes.
            const char* names[4] = {"long", "lat", "x_proj", "y_proj"};
            if (!forward) std::swap(names[0], names[2]), std::swap(names[1], names[3]);
            std::array<int, 4> cols{};
            for (int i = 0; i < 4; ++i) {
                cols[i] = main_.table().Column_Find(names[i], true);
                if (cols[i] < 0)
                    throw VbError(381, "frmMain.Project_Table",
                                  std::string("The table has no \"") + names[i] + "\" column");
            }
            grid.SetRedraw(false);
            result = arcmap ? table_arcmap(*arcmap, forward, cols) : table_proj(*run, forward, cols);
            if (result) main_.table().Columns_AutoFit();
        }
    } catch (const VbError& e) {
        failure = e;
        result = false;
    }
    if (grid.Redraw() != redraw) grid.SetRedraw(redraw);
    main_.Set_Msg("");
    cursor.hourglass(false);
    if (run) result = close_run(*run, result);
    if (failure)
        dialogs().MsgBox("Error [" + std::to_string(failure->number) + "]: " + failure->description,
                         platform::vbOKOnly);
    return result;
}

bool CoordinatesImpl::table_proj(ProjRun& run, bool forward, const std::array<int, 4>& cols)
{
    platform::Grid& grid = main_.MSFlexGrid1;
    for (int i = 1; i < grid.Rows(); ++i) {
        main_.Set_Msg("Projecting Points: Reading Existing XY " + std::to_string(i));
        const std::string& ty = grid.TextMatrix(i, cols[1]);
        const std::string& tx = grid.TextMatrix(i, cols[0]);
        // Projected values are derived: a row without them keeps its
        // latitude and longitude rather than taking the inverse of (0, 0).
        if (!forward && !(vb::IsNumeric(tx) && vb::IsNumeric(ty))) continue;
        double x = number_or_zero(tx), y = number_or_zero(ty);
        if (!run.convert(x, y)) return false;
        grid.SetTextMatrix(i, cols[2], platform::plain_decimal(x));
        grid.SetTextMatrix(i, cols[3], platform::plain_decimal(y));
    }
    return true;
}

bool CoordinatesImpl::table_arcmap(platform::Dispatch& arcmap, bool forward, const std::array<int, 4>& cols)
{
    platform::Grid& grid = main_.MSFlexGrid1;
    std::vector<int> rows;
    std::vector<std::array<double, 2>> points;
    for (int i = 1; i < grid.Rows(); ++i) {
        main_.Set_Msg("Projecting Points: Reading Existing XY " + std::to_string(i));
        const std::string& ty = grid.TextMatrix(i, cols[1]);
        const std::string& tx = grid.TextMatrix(i, cols[0]);
        if (!forward && !(vb::IsNumeric(tx) && vb::IsNumeric(ty))) continue;
        rows.push_back(i);
        points.push_back({number_or_zero(tx), number_or_zero(ty)});
    }
    if (rows.empty()) return true;
    platform::VariantArray list(0, static_cast<std::int32_t>(rows.size()));
    for (std::size_t j = 0; j < rows.size(); ++j) {
        platform::VariantArray pair(0, 2);
        pair.at(0) = points[j][0];
        pair.at(1) = points[j][1];
        list.at(static_cast<std::int32_t>(j)) = Variant(std::move(pair));
    }
    std::vector<Variant> args{Variant(std::move(list)), !forward, std::string(), proj_setting("am_proj")};
    if (!call_late(arcmap, "project_XYs", args).ToBool()) return false;
    const platform::VariantArray& out = args[0].ToArray();
    if (out.Dimensions() != 1 || out.LBound() != 0 || out.UBound() + 1 != static_cast<std::int32_t>(rows.size()))
        throw VbError(9, "frmMain.Project_Table", "Subscript out of range");
    for (std::size_t j = 0; j < rows.size(); ++j) {
        const platform::VariantArray& pair = out.at(static_cast<std::int32_t>(j)).ToArray();
        grid.SetTextMatrix(rows[j], cols[2], pair.at(0).ToString());
        grid.SetTextMatrix(rows[j], cols[3], pair.at(1).ToString());
    }
    return true;
}

// ---------------------------------------------------------------- catalogue

void CoordinatesImpl::LoadProjections(const std::string& kind)
{
    catalogue_.emplace();
    platform::Cursor& cursor = main_.cursor();
    cursor.hourglass(true);
    const std::string path = main_.program_folder() + "/proj/nad/" + kind;
    std::ifstream in;
    if (is_file(path)) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        cursor.hourglass(false);
        dialogs().MsgBox("Could not find projections file located at " + path, platform::vbOKOnly);
        return;
    }
    try {
        main_.Set_Msg("Loading projections");
        std::string line;
        while (std::getline(in, line)) catalogue_->add_line(line);
        cursor.hourglass(false);

        // First run: propose the default projection.
        if (proj_setting("proj").empty() && !main_.frmProperties().Visible()) {
            settings().SaveSetting("proj", "proj", "4326");
            settings().SaveSetting("proj", "projfile", "epsg");
            main_.frmProperties().loadProjectionListboxes();
            if (dialogs().MsgBox(kDefaultQuestion, platform::vbYesNo, "Set Default Projection") == platform::vbYes) {
                settings().SaveSetting("proj", "proj", "26915");
                settings().SaveSetting("proj", "projfile", "epsg");
            } else {
                mnuSetProjection_Click();
            }
        }
    } catch (const VbError& e) {
        cursor.hourglass(false);
        dialogs().MsgBox("Error #" + error_text(e), platform::vbCritical, "frmMain.LoadProjections");
    }
}

std::string CoordinatesImpl::getProjectionDescription()
{
    try {
        if (!catalogue_) throw VbError(91, "frmMain.getProjectionDescription",
                                       "Object variable or With block variable not set");
        const ProjectionEntry* entry = catalogue_->find(proj_setting("proj", "4326"));
        if (!entry) throw VbError(13, "frmMain.getProjectionDescription", "Type mismatch");
        return definition_parameters(entry->definition);
    } catch (const VbError& e) {
        dialogs().MsgBox("Error #" + error_text(e), platform::vbCritical, "frmMain.getProjectionDescription");
        return {};
    }
}

std::string CoordinatesImpl::getProjectionName(bool arcmap)
{
    try {
        if (arcmap) return arcmap_projection_name(proj_setting("am_proj"));
        // Asked first: a dialog loaded again rebuilds the catalogue.
        const bool epsg = main_.frmProperties().optEPSG();
        if (!catalogue_) return {};
        const ProjectionEntry* entry = catalogue_->find(proj_setting("proj", "4326"));
        if (!entry) return {};
        if (epsg) return entry->group + " - " + entry->name;
        return entry->group;
    } catch (const VbError& e) {
        dialogs().MsgBox("Error #" + error_text(e), platform::vbCritical, "frmMain.getProjectionName");
        return {};
    }
}

// ---------------------------------------------------------------- menus

void CoordinatesImpl::menu_Click(const std::string& name, int)
{
    if (name == "mnuGetProjection")
        mnuGetProjection_Click();
    else if (name == "mnuSetProjection")
        mnuSetProjection_Click();
    else if (name == "mnuProjectCoordinates")
        mnuProjectCoordinates_Click();
    else if (name == "mnuUnProjectCoordinates")
        mnuUnProjectCoordinates_Click();
}

void CoordinatesImpl::mnuGetProjection_Click()
{
    std::string name = vb::LCase(proj_setting("projfile")) == "arcmap" ? proj_setting("am_proj")
                                                                       : getProjectionName(false);
    main_.Set_Msg("Projection: " + name);
    dialogs().MsgBox(name, platform::vbOKOnly, "Current Projection");
}

void CoordinatesImpl::mnuProjectCoordinates_Click()
{
    try {
        flxgrd::Table& table = main_.table();
        std::vector<int> cols{table.Column_Find("lat", true), table.Column_Find("long", true)};
        if (table.Selection_CheckValues(main_.MSFlexGrid1, cols, "number"))
            Project_Table(true);
        else
            dialogs().MsgBox("Projection Error: Invalid Lat and/or Long values exist.", platform::vbOKOnly);
    } catch (const VbError& e) {
        dialogs().MsgBox("Error #" + error_text(e), platform::vbCritical, "frmMain.mnuProjectCoordinates_Click");
    }
}

void CoordinatesImpl::mnuUnProjectCoordinates_Click()
{
    try {
        flxgrd::Table& table = main_.table();
        const platform::Grid& grid = main_.MSFlexGrid1;
        int ycol = table.Column_Find("y_proj", true), xcol = table.Column_Find("x_proj", true);
        bool found = false;
        for (int i = 1; i < grid.Rows() && !found; ++i)
            found = vb::IsNumeric(grid.TextMatrix(i, ycol)) && vb::IsNumeric(grid.TextMatrix(i, xcol));
        if (found)
            Project_Table(false);
        else
            dialogs().MsgBox("Unprojection Error: No valid Projected X/Y values exist.", platform::vbOKOnly);
    } catch (const VbError& e) {
        dialogs().MsgBox("Error #" + error_text(e), platform::vbCritical, "frmMain.mnuUnProjectCoordinates_Click");
    }
}

} // namespace

// ---------------------------------------------------------------- errors

std::string pjErrorString(int error)
{
    static const char* const texts[45] = {
        "no error",
        "no arguments in initialization list",
        "no options found in 'init' file",
        "no colon in init= string",
        "projection not named",
        "unknown projection id",
        "effective eccentricity = 1.",
        "unknown unit conversion id",
        "invalid boolean param argument",
        "unknown elliptical parameter name",
        "reciprocal flattening (1/f) = 0",
        "|radius reference latitude| > 90",
        "squared eccentricity < 0",
        "major axis or radius = 0 or not given",
        "latitude or longitude exceeded limits",
        "invalid x or y",
        "improperly formed DMS value",
        "non-convergent inverse meridinal dist",
        "non-convergent inverse phi2",
        "acos/asin: |arg| >1.+1e-14",
        "tolerance condition error",
        "conic lat_1 = -lat_2",
        "lat_1 >= 90",
        "lat_1 = 0",
        "lat_ts >= 90",
        "no distance between control points",
        "projection not selected to be rotated",
        "W <= 0 or M <= 0",
        "lsat not in 1-5 range",
        "path not in range",
        "h <= 0",
        "k <= 0",
        "lat_0 = 0 or 90 or alpha = 90",
        "lat_1=lat_2 or lat_1=0 or lat_2=90",
        "elliptical usage required",
        "invalid UTM zone number",
        "arg(s) out of range for Tcheby eval",
        "failed to find projection to be rotated",
        "failed to load NAD27-83 correction file",
        "both n & m must be spec'd and > 0",
        "n <= 0, n > 1 or not specified",
        "lat_1 or lat_2 not specified",
        "|lat_1| == |lat_2|",
        "lat_0 is pi/2 from mean lat",
        "unparseable coordinate system definition",
    };
    if (error <= 0 && error >= -44) return texts[-error];
    return "System Error #" + std::to_string(error);
}

std::unique_ptr<Coordinates> make_coordinates(app::frmMain& main, std::shared_ptr<platform::ProjLibrary> proj)
{
    return std::make_unique<CoordinatesImpl>(main, std::move(proj));
}

std::unique_ptr<Coordinates> make_coordinates(app::frmMain& main) { return make_coordinates(main, nullptr); }

} // namespace coords
