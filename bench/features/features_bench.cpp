// Feature data on GDAL against GDAL's own ogr2ogr on the same data in the
// same run: 32,766 points inserted through a buffered cursor into a file
// geodatabase (ogr2ogr -append from CSV), and area and length of 10,000
// polygons through an update cursor (ogr2ogr -dialect SQLite ST_Area,
// ST_Length into a new file).
#include "bench/support/process.h"
#include "bench/support/scratch.h"
#include "platform/arcobjects/geometry_ops.h"
#include "platform/arcobjects/workspace.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {

namespace ao = platform::arcobjects;
namespace fs = std::filesystem;

constexpr int kPoints = 32766;
constexpr int kPolygons = 10000;

struct Scratch {
    std::string dir = benchsupport::at("features");
    Scratch()
    {
        fs::create_directories(dir);
        {
            std::ofstream p(dir + "/points.csv");
            p << "ident,alt,WKT\n";
            p.precision(10);
            for (int i = 0; i < kPoints; ++i)
                p << "P" << i << ',' << i * 0.5 << ",\"POINT (" << 460000 + i * 0.1 << ' ' << 5010000 + i * 0.05
                  << ")\"\n";
            std::ofstream q(dir + "/polygons.csv");
            q << "id,WKT\n";
            for (int i = 0; i < kPolygons; ++i) {
                const double x = 460000 + (i % 100) * 200, y = 5010000 + (i / 100) * 200;
                q << i << ",\"POLYGON ((" << x << ' ' << y << ',' << x << ' ' << y + 100 << ',' << x + 100 << ' '
                  << y + 100 << ',' << x + 100 << ' ' << y << ',' << x << ' ' << y << "))\"\n";
            }
        } // closed: the peer reads them
        benchsupport::run("cd " + dir +
                          " && ogr2ogr -f OpenFileGDB empty.gdb points.csv -nln Wpts -nlt POINT -a_srs EPSG:26915"
                          " -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -where 0=1"
                          " && ogr2ogr polygons.shp polygons.csv -nlt POLYGON -a_srs EPSG:26915"
                          " -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO");
    }
    ~Scratch() { fs::remove_all(dir); }
    std::string fresh_gdb(const std::string& name) const
    {
        fs::remove_all(dir + "/" + name);
        fs::copy(dir + "/empty.gdb", dir + "/" + name);
        return dir + "/" + name;
    }
};

const Scratch& scratch()
{
    static Scratch s;
    return s;
}

void BM_InsertPointsGdb(benchmark::State& state)
{
    const Scratch& s = scratch();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string gdb = s.fresh_gdb("ours" + std::to_string(n++) + ".gdb");
        state.ResumeTiming();
        auto fc = ao::Open_Feature_Class(gdb + "/Wpts");
        const int ident = fc->FindField("ident"), alt = fc->FindField("alt");
        auto cursor = fc->Insert(true);
        auto buffer = cursor->CreateFeatureBuffer();
        for (int i = 0; i < kPoints; ++i) {
            buffer->Shape = ao::Geometry::MakePoint(460000 + i * 0.1, 5010000 + i * 0.05);
            buffer->set_Value(ident, "P" + std::to_string(i));
            buffer->set_Value(alt, i * 0.5);
            cursor->InsertFeature(*buffer);
        }
        cursor.reset();
        fc.reset();
    }
    state.counters["points"] = kPoints;
}
BENCHMARK(BM_InsertPointsGdb)->Unit(benchmark::kMillisecond);

void BM_Ogr2ogrAppendGdb(benchmark::State& state)
{
    const Scratch& s = scratch();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string gdb = s.fresh_gdb("peer" + std::to_string(n++) + ".gdb");
        state.ResumeTiming();
        if (!benchsupport::run("ogr2ogr -f OpenFileGDB -append " + gdb + " " + s.dir +
                               "/points.csv -nln Wpts -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO"))
            state.SkipWithError("ogr2ogr -append failed");
    }
    state.counters["points"] = kPoints;
}
BENCHMARK(BM_Ogr2ogrAppendGdb)->Unit(benchmark::kMillisecond);

void BM_AreaLengthUpdate(benchmark::State& state)
{
    const Scratch& s = scratch();
    auto fc = ao::Open_Feature_Class(s.dir + "/polygons.shp");
    if (fc->FindField("Area") < 0) fc->AddField({"Area", ao::esriFieldTypeDouble, 0, 15, 3});
    if (fc->FindField("Perimeter") < 0) fc->AddField({"Perimeter", ao::esriFieldTypeDouble, 0, 15, 3});
    const int area = fc->FindField("Area"), perimeter = fc->FindField("Perimeter");
    for (auto _ : state) {
        auto cursor = fc->Update();
        while (auto f = cursor->NextFeature()) {
            f->set_Value(area, ao::Area(*f->Shape));
            f->set_Value(perimeter, ao::Length(*f->Shape));
            cursor->UpdateFeature(*f);
        }
    }
    state.counters["polygons"] = kPolygons;
}
BENCHMARK(BM_AreaLengthUpdate)->Unit(benchmark::kMillisecond);

void BM_Ogr2ogrStAreaLength(benchmark::State& state)
{
    const Scratch& s = scratch();
    benchsupport::shell(state, "cd " + s.dir + " && ogr2ogr -overwrite measured.shp polygons.shp -dialect SQLite "
                               "-sql \"SELECT *, ST_Area(geometry) AS Area, ST_Length(geometry) AS Perimeter "
                               "FROM polygons\"");
    state.counters["polygons"] = kPolygons;
}
BENCHMARK(BM_Ogr2ogrStAreaLength)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
