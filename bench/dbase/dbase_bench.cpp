// Saving and loading 32,766 waypoints of every default field as a dBASE
// table (Save_DBF, Open_DBF), against ogr2ogr in the same run: copying that
// table to a new .dbf (the save's peer) and turning it into CSV (the load's
// peer) and, as the shapefile of the same rows, into CSV. BM_DbfTableFill
// times the part of the load that is the table itself: the same rows,
// already read, inserted into the cleared table. Each runs on a full and a
// sparse table.
#include "bench/support/main_window.h"
#include "bench/support/process.h"
#include "main/files/dbase.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "platform/text/vb.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using benchsupport::at;
using benchsupport::scratch;
using benchsupport::shell;

// The main window with a waypoint table of 32,766 rows: "full", every
// default field holding a value of its kind, or "sparse", ident, lat, long,
// y_proj, x_proj and comment only (the other columns empty).
struct Window : benchsupport::MainWindow {
    Window() : MainWindow(scratch(), true), files(main)
    {
        files.show_fields = [](files::frmFields& f) { f.cmdOK_Click(); };
    }
    void fill(bool full)
    {
        if (filled == int(full)) return;
        filled = int(full);
        main.state().record_type = "waypoint";
        auto& t = main.table();
        t.Table_Clear();
        t.Table_SetType("waypoint");
        std::vector<std::string> fields = t.Fields_GetList("waypoint", false, false);
        if (!full) fields = {"ident", "lat", "long", "y_proj", "x_proj", "comment"};
        std::string columns;
        for (const auto& f : fields) columns += (columns.empty() ? "" : ";") + std::to_string(t.Column_Find(f, true));
        for (int i = 0; i < flxgrd::kMaxRecords; ++i) {
            const std::string lat = std::to_string(45.0 + (i % 1000) * 1e-3);
            const std::string lon = std::to_string(-93.0 - (i / 1000) * 1e-3);
            std::vector<std::string> values;
            for (const auto& f : fields) {
                const flxgrd::CatalogField* c = flxgrd::Catalog_Find(f);
                if (f == "lat" || f == "y_proj") values.push_back(lat);
                else if (f == "long" || f == "x_proj") values.push_back(lon);
                else if (c && c->type == "N") values.push_back(std::to_string(i % 500) + ".25");
                else values.push_back(("W" + std::to_string(i) + " " + f).substr(0, c ? std::size_t(c->width) : 8));
            }
            t.Records_InsertValues(values, columns);
        }
        if (!files.Save_DBF(at("w.dbf"), false) || !files.Shapefile_Save("Point", false, at("w.shp"), false))
            std::abort();
    }

    files::TableFiles files;
    int filled = -1;
};

Window& window(benchmark::State& state)
{
    static Window w;
    w.fill(state.range(0) == 1);
    return w;
}

void BM_DbfSave(benchmark::State& state)
{
    Window& w = window(state);
    for (auto _ : state)
        if (!w.files.Save_DBF(at("w.dbf"), false)) state.SkipWithError("save failed");
    state.counters["rows"] = w.rows();
}

void BM_DbfLoad(benchmark::State& state)
{
    Window& w = window(state);
    for (auto _ : state)
        if (!w.files.Open_DBF(at("w.dbf"))) state.SkipWithError("load failed");
    state.counters["rows"] = w.rows();
    w.filled = -1; // the table now holds what was loaded
}

// The floor of the load: the table fill alone, from the rows as read.
void BM_DbfTableFill(benchmark::State& state)
{
    Window& w = window(state);
    files::DBase db(w.dialogs);
    const auto file = db.DBF_Open(at("w.dbf"));
    std::vector<std::string> names;
    const auto fields = db.DBF_GetFields(file);
    for (const auto& f : *fields) names.push_back(platform::vb::Split(f, ",")[0]);
    auto records = *db.DBF_GetRecords(file, 0);
    db.DBF_Close(file);
    for (auto& r : records)
        for (auto& v : r) v = platform::vb::Trim(v);
    auto& t = w.main.table();
    for (auto _ : state) {
        t.Table_Clear();
        std::vector<std::string> cols = names;
        const std::string columns = w.files.required_fields(cols, "dbf", "waypoint").first;
        for (const auto& r : records)
            if (!t.Records_InsertValues(r, columns)) state.SkipWithError("insert failed");
    }
    state.counters["rows"] = w.rows();
    w.filled = -1;
}

// The save's peer: the same table copied to a new .dbf.
void BM_Ogr2ogrDbfCopy(benchmark::State& state)
{
    window(state);
    shell(state, "rm -f " + at("ogr.dbf") + " && ogr2ogr -f 'ESRI Shapefile' " + at("ogr.dbf") + " " + at("w.dbf"));
}

// The load's peers: the same table, and the shapefile of the same rows, to CSV.
void BM_Ogr2ogrDbfToCsv(benchmark::State& state)
{
    window(state);
    shell(state, "rm -f " + at("ogr.csv") + " && ogr2ogr -f CSV " + at("ogr.csv") + " " + at("w.dbf"));
}

void BM_Ogr2ogrShpToCsv(benchmark::State& state)
{
    window(state);
    shell(state, "rm -f " + at("ogr.csv") + " && ogr2ogr -f CSV " + at("ogr.csv") + " " + at("w.shp"));
}

// Argument 1: the full table, 0: the sparse one.
#define TABLES(b) BENCHMARK(b)->ArgName("full")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3)
TABLES(BM_DbfSave);
TABLES(BM_Ogr2ogrDbfCopy);
TABLES(BM_DbfLoad);
TABLES(BM_DbfTableFill);
TABLES(BM_Ogr2ogrDbfToCsv);
TABLES(BM_Ogr2ogrShpToCsv);

} // namespace

BENCHMARK_MAIN();
