// Records table speed: filling a full table, switching its type, colouring
// and fitting it, and looking columns up.
#include "tests/support/files.h"
#include "main/table/table.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/scripted_dialogs.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Fixture {
    Fixture() : settings(dir.path + "/trekfold.ini"), grid(2, 30)
    {
        flxgrd::TableContext ctx{grid, settings, dialogs, type, records, segments, selected, first, last, cursor,
                                 real_time};
        ctx.Set_Msg = [this](const std::string& m) { benchmark::DoNotOptimize(m.data()); };
        ctx.Set_Controls = [](int) {};
        ctx.clipboard = [this] { return &clipboard; };
        ctx.Set_RouteDefault = [this] { table->Set_RouteDefault(); };
        table = std::make_unique<flxgrd::Table>(std::move(ctx));
        flxgrd::Fields_Repair(settings, "");
    }
    void fill(int n)
    {
        table->Table_SetType("waypoint");
        for (int i = 1; i <= n; ++i)
            table->Records_Insert(values(i));
    }
    // 31 values of a waypoint record.
    static std::string values(int i)
    {
        std::string v = "WAYPOINT;WPT" + std::to_string(i) + ";45.4215296;-75.6971931;5029876.12;445123.45;"
                        "picked up near the bridge;0;8;;123.45;;0;84.5;0;20.5;2006/05/01 12:30:00;0;0;0;;ON;CA;"
                        "Ottawa;1 Main St;;Bank/Elgin;;0;1;GPS 60";
        return v;
    }
    test_support::TempDir dir;
    platform::Settings settings;
    platform::Grid grid;
    platform::ScriptedDialogs dialogs;
    platform::MemoryClipboard clipboard;
    std::string type = "waypoint";
    std::int32_t records = 0, selected = 0, first = 1, last = 1, cursor = 0;
    std::int64_t segments = 0;
    bool real_time = false;
    std::unique_ptr<flxgrd::Table> table;
};

void BM_InsertRecords(benchmark::State& state)
{
    Fixture f;
    int n = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        f.table->Table_SetType("waypoint");
        state.ResumeTiming();
        for (int i = 1; i <= n; ++i)
            f.table->Records_Insert(Fixture::values(i));
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_InsertRecords)->Arg(1000)->Arg(8000)->Arg(flxgrd::kMaxRecords)->Unit(benchmark::kMillisecond);

void BM_ChangeTypeWaypointToRoute(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        state.PauseTiming();
        f.fill(flxgrd::kMaxRecords);
        state.ResumeTiming();
        f.table->Table_ChangeType("route");
    }
}
BENCHMARK(BM_ChangeTypeWaypointToRoute)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RowsColorWholeRouteTable(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    f.table->Table_ChangeType("route");
    for (auto _ : state)
        f.table->Rows_Color(0);
}
BENCHMARK(BM_RowsColorWholeRouteTable)->Unit(benchmark::kMillisecond);

void BM_ColumnsAutoFit(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    for (auto _ : state)
        f.table->Columns_AutoFit();
}
BENCHMARK(BM_ColumnsAutoFit)->Unit(benchmark::kMillisecond);

void BM_ColumnFind(benchmark::State& state)
{
    Fixture f;
    f.fill(10);
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.table->Column_Find("comment", true));
        benchmark::DoNotOptimize(f.table->Column_Find("ltime", true));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_ColumnFind);

} // namespace

// --- selection, editing, copy and paste, time columns, route defaults -----------

void select(platform::Grid& g, int r1, int c1, int r2, int c2)
{
    g.SetRow(r1);
    g.SetCol(c1);
    g.SetRowSel(r2);
    g.SetColSel(c2);
}

void BM_CopyEveryCell(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    select(f.grid, 1, 1, f.grid.Rows() - 1, f.grid.Cols() - 1);
    for (auto _ : state)
        f.table->Selection_Copy();
    state.counters["bytes"] = double(f.clipboard.GetText().size());
}
BENCHMARK(BM_CopyEveryCell)->Unit(benchmark::kMillisecond);

void BM_Paste10000Lines(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        std::string line = Fixture::values(100000 + i);
        for (char& c : line)
            if (c == ';') c = '\t';
        text += line + "\r\n";
    }
    f.clipboard.SetText(text);
    select(f.grid, 1, 1, 1, 1);
    for (auto _ : state)
        f.table->Selection_Paste(f.grid);
}
BENCHMARK(BM_Paste10000Lines)->Unit(benchmark::kMillisecond);

void BM_Delete16000Rows(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        state.PauseTiming();
        f.fill(flxgrd::kMaxRecords);
        select(f.grid, 1, 1, 16000, f.grid.Cols() - 1);
        state.ResumeTiming();
        f.table->Selection_Delete();
    }
}
BENCHMARK(BM_Delete16000Rows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_HeaderSort(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    int ident = f.table->Column_Find("ident", true);
    bool up = false;
    for (auto _ : state) {
        f.grid.Sort(ident, up ? platform::flexSortGenericAscending : platform::flexSortGenericDescending);
        up = !up;
    }
}
BENCHMARK(BM_HeaderSort)->Unit(benchmark::kMillisecond);

void BM_CellEditWholeColumn(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    int comment = f.table->Column_Find("comment", true);
    select(f.grid, 1, comment, f.grid.Rows() - 1, comment);
    bool odd = false;
    for (auto _ : state) {
        f.dialogs.input((odd = !odd) ? "edited" : "changed"); // every cell changes each time
        f.table->Cell_Edit();
    }
}
BENCHMARK(BM_CellEditWholeColumn)->Unit(benchmark::kMillisecond);

void BM_TimeCalculateLocal(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    const char* zone = state.range(0) ? "Local Computer Time" : "-6  (Central)";
    for (auto _ : state)
        flxgrd::Time_CalculateLocal(*f.table, zone, false);
}
BENCHMARK(BM_TimeCalculateLocal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SetRouteDefault(benchmark::State& state)
{
    Fixture f;
    f.fill(flxgrd::kMaxRecords);
    f.table->Table_ChangeType("route");
    // An edit of the first row makes every call walk the whole table.
    const int comment = f.table->Column_Find("comment", true);
    bool odd = false;
    for (auto _ : state) {
        f.grid.SetTextMatrix(1, comment, (odd = !odd) ? "edited" : "changed");
        f.table->Set_RouteDefault();
    }
}
BENCHMARK(BM_SetRouteDefault)->Unit(benchmark::kMillisecond);

// A route table built record by record, a new route every 10 rows: the
// route defaults run at each start.
void BM_RouteBuiltByInserts(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        f.type = "route";
        f.table->Table_SetType("route");
        int seg = f.table->Column_Find("new_seg", true);
        int lat = f.table->Column_Find("lat", true);
        for (int i = 1; i <= flxgrd::kMaxRecords; ++i)
            f.table->Records_Insert(std::string(i % 10 == 1 ? "true" : "false") + ";" + std::to_string(i),
                                    std::to_string(seg) + ";" + std::to_string(lat));
    }
}
BENCHMARK(BM_RouteBuiltByInserts)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
