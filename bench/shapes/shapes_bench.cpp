// Writing and reading 32,766 point records with five fields, shapes and
// table: our classes, shapelib's own writer and reader, and ogr2ogr turning
// the same records from CSV into a shapefile. Reads also report the peak
// memory of a child process that does nothing else.
#include "bench/support/process.h"
#include "tests/support/files.h"
#include "main/files/dbase.h"
#include "main/files/shapefile.h"
#include "platform/text/vb.h"
#include "platform/ui/scripted_dialogs.h"

#include <benchmark/benchmark.h>
#include <shapefil.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRecords = 32766;

struct Record {
    double x, y;
    std::string name, lat, lon, elev, idx;
    double elev_v;
};

const std::vector<Record>& records()
{
    static const std::vector<Record> r = [] {
        std::vector<Record> v;
        for (int i = 0; i < kRecords; ++i) {
            Record c;
            c.x = -120 - i * 1e-5;
            c.y = 45 + i * 1e-5;
            char b[64];
            c.name = "wpt" + std::to_string(i);
            std::snprintf(b, sizeof b, "%.6f", c.y);
            c.lat = b;
            std::snprintf(b, sizeof b, "%.6f", c.x);
            c.lon = b;
            c.elev_v = i % 1000 + 0.5;
            std::snprintf(b, sizeof b, "%.1f", c.elev_v);
            c.elev = b;
            c.idx = std::to_string(i);
            v.push_back(std::move(c));
        }
        return v;
    }();
    return r;
}

const std::vector<std::string> kSpecs = {"NAME,C,20,0", "LAT,N,12,6", "LON,N,12,6", "ELEV,N,8,1", "IDX,N,6,0"};

using test_support::TempDir;
using benchsupport::child_peak_kb;

platform::vb::Date fixed_date() { return {2026, 12, 9}; }

// Our classes on one pair and its table.
struct Ours {
    Ours(const std::string& base, std::int32_t status) : db(dialogs, fixed_date)
    {
        files::CFileName name;
        name.SetFileSpec(base + ".shp");
        shp.SetFileSpec(name, status, 1);
    }
    platform::ScriptedDialogs dialogs;
    files::DBase db;
    files::CShapeFile shp;
};

void write_ours(const std::string& base)
{
    Ours o(base, files::CREATEIT);
    auto& [dialogs, db, shp] = o;
    const std::int16_t t = db.DBF_Create(base + ".dbf", kSpecs);
    for (const Record& r : records()) {
        shp.Add(std::make_shared<files::CPoint>(r.x, r.y));
        const std::int32_t n = db.DBF_AddRecord(t);
        db.DBF_PutRecord(t, "NAME", n, r.name);
        db.DBF_PutRecord(t, "LAT", n, r.lat);
        db.DBF_PutRecord(t, "LON", n, r.lon);
        db.DBF_PutRecord(t, "ELEV", n, r.elev);
        db.DBF_PutRecord(t, "IDX", n, r.idx);
    }
    db.DBF_Close(t);
}

void write_shapelib(const std::string& base)
{
    SHPHandle shp = SHPCreate(base.c_str(), SHPT_POINT);
    DBFHandle dbf = DBFCreate((base + ".dbf").c_str());
    DBFAddField(dbf, "NAME", FTString, 20, 0);
    DBFAddField(dbf, "LAT", FTDouble, 12, 6);
    DBFAddField(dbf, "LON", FTDouble, 12, 6);
    DBFAddField(dbf, "ELEV", FTDouble, 8, 1);
    DBFAddField(dbf, "IDX", FTInteger, 6, 0);
    int i = 0;
    for (const Record& r : records()) {
        SHPObject* o = SHPCreateSimpleObject(SHPT_POINT, 1, &r.x, &r.y, nullptr);
        SHPWriteObject(shp, -1, o);
        SHPDestroyObject(o);
        DBFWriteStringAttribute(dbf, i, 0, r.name.c_str());
        DBFWriteDoubleAttribute(dbf, i, 1, r.y);
        DBFWriteDoubleAttribute(dbf, i, 2, r.x);
        DBFWriteDoubleAttribute(dbf, i, 3, r.elev_v);
        DBFWriteIntegerAttribute(dbf, i, 4, i);
        ++i;
    }
    SHPClose(shp);
    DBFClose(dbf);
}

double read_ours(const std::string& base)
{
    Ours o(base, 0);
    auto& [dialogs, db, shp] = o;
    double sum = 0;
    for (std::int32_t i = 1; i <= shp.Count(); ++i) sum += shp.Item(i)->Left();
    const std::int16_t t = db.DBF_Open(base + ".dbf");
    const auto rows = db.DBF_GetRecords(t, 0);
    db.DBF_Close(t);
    return sum + double(rows ? rows->size() : 0);
}

double read_shapelib(const std::string& base)
{
    SHPHandle shp = SHPOpen(base.c_str(), "rb");
    int n = 0, type = 0;
    SHPGetInfo(shp, &n, &type, nullptr, nullptr);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        SHPObject* o = SHPReadObject(shp, i);
        sum += o->padfX[0];
        SHPDestroyObject(o);
    }
    SHPClose(shp);
    DBFHandle dbf = DBFOpen((base + ".dbf").c_str(), "rb");
    const int rows = DBFGetRecordCount(dbf), fields = DBFGetFieldCount(dbf);
    std::vector<std::vector<std::string>> out;
    out.reserve(size_t(rows));
    for (int r = 0; r < rows; ++r) {
        std::vector<std::string> row;
        for (int f = 0; f < fields; ++f) row.emplace_back(DBFReadStringAttribute(dbf, r, f));
        out.push_back(std::move(row));
    }
    DBFClose(dbf);
    return sum + double(out.size());
}

void write_bench(benchmark::State& state, void (*write)(const std::string&))
{
    TempDir dir;
    for (auto _ : state) write(dir.path + "/p");
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void read_bench(benchmark::State& state, void (*write)(const std::string&), double (*read)(const std::string&))
{
    TempDir dir;
    write(dir.path + "/p");
    for (auto _ : state) benchmark::DoNotOptimize(read(dir.path + "/p"));
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.counters["peak_rss_kB"] = double(child_peak_kb([&] { read(dir.path + "/p"); }));
    state.counters["baseline_rss_kB"] = double(child_peak_kb([] {}));
}

void BM_WriteOurs(benchmark::State& state) { write_bench(state, write_ours); }
void BM_WriteShapelib(benchmark::State& state) { write_bench(state, write_shapelib); }
void BM_ReadOurs(benchmark::State& state) { read_bench(state, write_ours, read_ours); }
void BM_ReadShapelib(benchmark::State& state) { read_bench(state, write_shapelib, read_shapelib); }

void BM_WriteOgr2ogrFromCsv(benchmark::State& state)
{
    TempDir dir;
    {
        std::ofstream csv(dir.path + "/p.csv");
        csv << "X,Y,NAME,LAT,LON,ELEV,IDX\n";
        for (const Record& r : records())
            csv << r.lon << "," << r.lat << "," << r.name << "," << r.lat << "," << r.lon << "," << r.elev << ","
                << r.idx << "\n";
    }
    const std::string cmd = "ogr2ogr -q -overwrite -f 'ESRI Shapefile' '" + dir.path + "/out.shp' '" + dir.path + "/p.csv" +
                            "' -oo X_POSSIBLE_NAMES=X -oo Y_POSSIBLE_NAMES=Y -oo AUTODETECT_TYPE=YES";
    benchsupport::shell(state, cmd);
    state.SetItemsProcessed(state.iterations() * kRecords);
}

} // namespace

BENCHMARK(BM_WriteOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteShapelib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteOgr2ogrFromCsv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadShapelib)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
