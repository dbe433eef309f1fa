// Records table speed: filling a full table, switching its type, colouring
// and fitting it, and looking columns up.
#include "main/table/table.h"
#include "platform/ui/scripted_dialogs.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <stdlib.h>

namespace {

struct Fixture {
    Fixture() : dir(make_dir()), settings(dir + "/trekfold.ini"), grid(2, 30)
    {
        flxgrd::TableContext ctx{grid, settings, dialogs, type, records, segments, selected, first, last, cursor,
                                 real_time};
        ctx.Set_Msg = [this](const std::string& m) { benchmark::DoNotOptimize(m.data()); };
        ctx.Set_Controls = [](int) {};
        table = std::make_unique<flxgrd::Table>(std::move(ctx));
        flxgrd::Fields_Repair(settings, "");
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
    static std::string make_dir()
    {
        char tmpl[] = "/tmp/tf-bench-XXXXXX";
        return mkdtemp(tmpl);
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
    std::string dir;
    platform::Settings settings;
    platform::Grid grid;
    platform::ScriptedDialogs dialogs;
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

BENCHMARK_MAIN();
