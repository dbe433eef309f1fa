// The data members: tables of 1,000 to 32,766 rows written into a file
// geodatabase against ogr2ogr appending the same rows from CSV, paired in
// one run; area and length of
// 10,000 polygons against ogr2ogr's SQLite ST_Area and ST_Length; the
// exchange array of 32,767 graphic vertices; 12,000 line vertices for the
// receiver, loaded whole (No) and simplified (Yes).
#include "arcmap/detail/arcmap_object.h"
#include "bench/support/process.h"
#include "bench/support/scratch.h"
#include "platform/arcobjects/services.h"
#include "platform/arcobjects/workspace.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/collection_object.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/scripted_dialogs.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

namespace ao = platform::arcobjects;
namespace fs = std::filesystem;
using platform::Variant;

constexpr int kRows = 32766;

struct Answers : ao::HostServices {
    std::string path;
    std::optional<std::string> Browse(const ao::BrowseRequest&) override { return path; }
    std::string Window_Answer(const std::string&) override { return {}; }
};

struct Folder {
    fs::path dir = benchsupport::at("data");
    Folder() { fs::create_directories(dir); }
    ~Folder() { fs::remove_all(dir); }
    std::string operator/(const std::string& name) const { return (dir / name).string(); }
};

struct DataHost {
    platform::ClassRegistry registry;
    platform::ScriptedDialogs dialogs;
    Folder folder;
    platform::Settings settings{folder / "trekfold.ini"};
    Answers answers;
    ao::MxApplicationRef app;
    platform::ObjectRef arcmap;
    DataHost()
    {
        platform::LibraryServices s;
        s.dialogs = &dialogs;
        s.settings = &settings;
        registry.SetServices(s);
        trekfold_arcmap::Register(registry);
        app = std::make_shared<ao::MxApplication>(registry);
        app->Services = &answers;
        ao::As<ao::ICommand>(registry.CreateObject("TREKFOLD_ARCMAP.clsCommandOpen"))->OnCreate(app);
        arcmap = registry.CreateObject("Trekfold_ArcMap.clsArcMap");
        app->Document()->FocusMap->SpatialReference = ao::SpatialReference::FromCode(26915);
    }
    ~DataHost() { trekfold_arcmap::basArcMapCode::Application().reset(); }
    trekfold_arcmap::detail::clsArcMap& self() { return dynamic_cast<trekfold_arcmap::detail::clsArcMap&>(*arcmap); }
    void ogr(const std::string& args, benchmark::State& state)
    {
        if (!benchsupport::run("ogr2ogr " + args)) state.SkipWithError(("ogr2ogr " + args).c_str());
    }
};

double row_x(int i) { return 460000.0 + (i % 1000) * 1.5; }
double row_y(int i) { return 5010000.0 + (i / 1000) * 2.5; }

// A rows.csv of `n` waypoints, and an empty point class Wpts in template.gdb.
void waypoint_data(DataHost& h, int n, benchmark::State& state)
{
    {
        std::ofstream csv(h.folder / "rows.csv");
        csv.precision(12);
        csv << "ident,y_proj,x_proj\n";
        for (int i = 0; i < n; ++i) csv << "WP" << i << ',' << row_y(i) << ',' << row_x(i) << '\n';
    }
    fs::remove_all(h.folder / "template.gdb");
    h.ogr("-f OpenFileGDB " + h.folder / "template.gdb" + " " + h.folder / "rows.csv" +
              " -oo X_POSSIBLE_NAMES=x_proj -oo Y_POSSIBLE_NAMES=y_proj -oo AUTODETECT_TYPE=YES -a_srs EPSG:26915"
              " -nln Wpts -where \"ident='none'\"",
          state);
}

// range(0) waypoint rows written by Save_ToGeodatabase into an empty class,
// and the same points appended by ogr2ogr (a whole process, as a user runs
// it) into a fresh copy of that class, paired in each iteration: the time
// is ours; "ogr2ogr_ms" the peer's mean, "ratio" ours over the peer's,
// "us_per_row" ours per row (flat from 1,000 rows up when linear). The
// peer is a whole process and ours a call: "ogr2ogr_empty_ms" is the same
// command appending a CSV of the header alone (its start and opening), and
// "ratio_rows" ours over the peer's time less that, so that the rows
// themselves are compared as well.
void BM_Save_ToGeodatabase(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    DataHost h;
    waypoint_data(h, n, state);
    platform::VariantArray rows(0, 3, 0, n + 1);
    rows.at(0, 0) = Variant("ident"), rows.at(1, 0) = Variant("y_proj"), rows.at(2, 0) = Variant("x_proj");
    for (int i = 0; i < n; ++i) {
        rows.at(0, i + 1) = Variant("WP" + std::to_string(i));
        rows.at(1, i + 1) = Variant(platform::vb::CStr(row_y(i)));
        rows.at(2, i + 1) = Variant(platform::vb::CStr(row_x(i)));
    }
    platform::Collection<Variant> c;
    for (auto [name, type] : {std::pair{"ident", "C"}, {"y_proj", "N"}, {"x_proj", "N"}}) {
        platform::VariantArray item(0, 2);
        item.at(0) = Variant(name), item.at(1) = Variant(type);
        c.Add(Variant(std::move(item)), name);
    }
    const Variant catalogue(platform::ObjectRef(std::make_shared<platform::CollectionObject>(std::move(c))));
    const std::string gdb = h.folder / "field.gdb", peer = h.folder / "peer.gdb";
    std::ofstream(h.folder / "empty.csv") << "ident,y_proj,x_proj\n";
    auto append = [&](const std::string& csv) {
        h.ogr("-f OpenFileGDB -append " + peer + " " + h.folder / csv +
                  " -oo X_POSSIBLE_NAMES=x_proj -oo Y_POSSIBLE_NAMES=y_proj -oo AUTODETECT_TYPE=YES -nln Wpts",
              state);
    };
    h.answers.path = gdb + "/Wpts";
    using clock = std::chrono::steady_clock;
    double ours = 0, theirs = 0, empty = 0;
    for (auto _ : state) {
        fs::remove_all(gdb);
        fs::copy(h.folder / "template.gdb", gdb);
        fs::remove_all(peer);
        fs::copy(h.folder / "template.gdb", peer);
        std::vector<Variant> a{Variant(rows), catalogue, Variant("waypoint"), Variant("point")};
        auto t0 = clock::now();
        if (!platform::CallByName(*h.arcmap, "Save_ToGeodatabase", a).ToBool())
            state.SkipWithError("Save_ToGeodatabase failed");
        auto t1 = clock::now();
        append("rows.csv");
        auto t2 = clock::now();
        append("empty.csv");
        auto t3 = clock::now();
        const double mine = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(mine);
        ours += mine;
        theirs += std::chrono::duration<double>(t2 - t1).count();
        empty += std::chrono::duration<double>(t3 - t2).count();
    }
    const double k = double(state.iterations());
    state.counters["rows"] = n;
    state.counters["ogr2ogr_ms"] = theirs / k * 1e3;
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
    state.counters["ogr2ogr_empty_ms"] = empty / k * 1e3;
    state.counters["ratio_rows"] = theirs > empty ? ours / (theirs - empty) : 0;
    state.counters["us_per_row"] = ours / k / n * 1e6;
}
BENCHMARK(BM_Save_ToGeodatabase)
    ->Arg(1000)->Arg(4000)->Arg(16000)->Arg(kRows)->UseManualTime()->Unit(benchmark::kMillisecond);

// squares.shp: 10,000 squares of 100 m in UTM zone 15.
std::string squares(DataHost& h, benchmark::State& state)
{
    {
        std::ofstream csv(h.folder / "sq.csv");
        csv << "id,WKT\n";
        for (int i = 0; i < 10000; ++i) {
            const double x = 460000 + (i % 100) * 200, y = 5010000 + (i / 100) * 200;
            csv << i << ",\"POLYGON((" << x << ' ' << y << ',' << x << ' ' << y + 100 << ',' << x + 100 << ' '
                << y + 100 << ',' << x + 100 << ' ' << y << ',' << x << ' ' << y << "))\"\n";
        }
    }
    const std::string shp = h.folder / "squares.shp";
    h.ogr("-f 'ESRI Shapefile' " + shp + " " + h.folder / "sq.csv" +
              " -oo GEOM_POSSIBLE_NAMES=WKT -nlt POLYGON -a_srs EPSG:26915",
          state);
    return shp;
}

void BM_Calculate_AcresMiles(benchmark::State& state)
{
    DataHost h;
    const std::string shp = squares(h, state);
    h.settings.SaveSetting("fields", "am_area", "1");
    h.settings.SaveSetting("fields", "am_length", "1");
    auto fc = ao::ShapefileWorkspaceFactory::OpenFromFile(h.folder.dir.string())->OpenFeatureClass("squares.shp");
    for (auto _ : state) h.self().Calculate_AcresMiles(fc);
    state.counters["polygons"] = 10000;
}
BENCHMARK(BM_Calculate_AcresMiles)->Unit(benchmark::kMillisecond);

void BM_Ogr2ogr_AreaLength(benchmark::State& state)
{
    DataHost h;
    const std::string shp = squares(h, state);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(h.folder / "measures.csv");
        state.ResumeTiming();
        h.ogr("-f CSV " + h.folder / "measures.csv" + " " + shp +
                  " -dialect SQLite -sql \"SELECT ST_Area(geometry) AS Area, ST_Length(geometry) AS Perimeter FROM squares\"",
              state);
    }
    state.counters["polygons"] = 10000;
}
BENCHMARK(BM_Ogr2ogr_AreaLength)->Unit(benchmark::kMillisecond);

void BM_Graphics_LoadFrom(benchmark::State& state)
{
    DataHost h;
    auto line = ao::Geometry::Make(ao::GeometryType::Polyline);
    line->parts.emplace_back();
    for (int i = 0; i < 32767; ++i) line->parts[0].push_back({row_x(i), row_y(i)});
    auto e = std::make_shared<ao::Element>(ao::ElementType::Line);
    e->Geometry = line;
    auto& layer = *h.app->Document()->FocusMap->BasicGraphicsLayer();
    layer.AddElement(e, 0);
    layer.SelectElement(e);
    for (auto _ : state)
        if (platform::CallByName(*h.arcmap, "Graphics_LoadFrom").IsEmpty()) state.SkipWithError("no array");
    state.counters["vertices"] = 32767;
}
BENCHMARK(BM_Graphics_LoadFrom)->Unit(benchmark::kMillisecond);

// 12 lines of 1,000 vertices; range(0) 1 answers Yes (simplify), 0 No.
void BM_FeatureClass_ToGarmin(benchmark::State& state)
{
    DataHost h;
    {
        std::ofstream csv(h.folder / "lines.csv");
        csv << "id,WKT\n";
        for (int f = 0; f < 12; ++f) {
            csv << f << ",\"LINESTRING(";
            for (int i = 0; i < 1000; ++i) csv << (i ? "," : "") << 460000 + i * 10 << ' ' << 5010000 + f * 100 + (i % 2) * 3;
            csv << ")\"\n";
        }
    }
    h.ogr("-f 'ESRI Shapefile' " + h.folder / "lines.shp" + " " + h.folder / "lines.csv" +
              " -oo GEOM_POSSIBLE_NAMES=WKT -nlt LINESTRING -a_srs EPSG:26915",
          state);
    auto layer = std::make_shared<ao::FeatureLayer>();
    layer->FeatureClass = ao::ShapefileWorkspaceFactory::OpenFromFile(h.folder.dir.string())->OpenFeatureClass("lines.shp");
    h.app->Document()->ContentsSelection = {layer};
    h.self().limits_file = h.folder / "no-gpslimits";
    for (auto _ : state) {
        h.dialogs.answer(state.range(0) ? platform::vbYes : platform::vbNo);
        if (platform::CallByName(*h.arcmap, "FeatureClass_ToGarmin", {Variant("x")}).IsEmpty())
            state.SkipWithError("nothing exported");
        state.PauseTiming();
        h.app->Document()->FocusMap->BasicGraphicsLayer()->DeleteAllElements();
        state.ResumeTiming();
    }
    state.counters["vertices"] = 12000;
}
BENCHMARK(BM_FeatureClass_ToGarmin)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
