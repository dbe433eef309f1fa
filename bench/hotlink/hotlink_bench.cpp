// Photo matching speed: a full track table matched against a thousand
// photos by capture time, and the "GPSMatch" refresh over the same.
#include "tests/support/files.h"
#include "main/hotlink/matching.h"
#include "main/table/table.h"
#include "platform/ui/scripted_dialogs.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kPhotos = 1000;

// "yyyy/MM/dd HH:mm:ss" (or with ":" in the date, as EXIF writes it) of a
// moment `seconds` after 2008-10-22 08:00:00.
std::string stamp(int seconds, char date_separator)
{
    const int day = 22 + seconds / 86400, s = seconds % 86400 + 8 * 3600;
    char text[32];
    std::snprintf(text, sizeof text, "2008%c10%c%02d %02d:%02d:%02d", date_separator, date_separator, day + s / 86400,
                  s % 86400 / 3600, s % 3600 / 60, s % 60);
    return text;
}

struct Fixture {
    Fixture() : settings(dir.path + "/trekfold.ini"), grid(2, 30)
    {
        flxgrd::TableContext ctx{grid, settings, dialogs, type, records, segments, selected, first, last, cursor,
                                 real_time};
        table = std::make_unique<flxgrd::Table>(std::move(ctx));
        flxgrd::Fields_Repair(settings, "");
        table->Table_SetType("track");
        // A track point every 10 s, one photo every 5 min over the same span.
        const int ident = table->Column_Find("ident", true), time = table->Column_Find("time", true);
        file_col = table->Column_Find("filename", true);
        grid.SetRows(flxgrd::kMaxRecords + 1);
        for (int r = 1; r <= flxgrd::kMaxRecords; ++r) {
            grid.SetTextMatrix(r, ident, "T" + std::to_string(r));
            grid.SetTextMatrix(r, time, stamp(r * 10, '/'));
        }
        photos.SetRows(kPhotos + 1);
        photos.SetTextMatrix(0, 0, "FileName");
        photos.SetTextMatrix(0, 1, "InternalDate");
        photos.SetTextMatrix(0, 2, "GPSMatch");
        for (int p = 1; p <= kPhotos; ++p) {
            photos.SetTextMatrix(p, 0, "IMG_" + std::to_string(p) + ".JPG");
            photos.SetTextMatrix(p, 1, stamp(p * 300 + 7, ':'));
        }
    }
    test_support::TempDir dir;
    platform::Settings settings;
    platform::Grid grid, photos{2, 3};
    platform::ScriptedDialogs dialogs;
    std::string type = "track";
    std::int32_t records = 0, selected = 0, first = 1, last = 1, cursor = 0;
    std::int64_t segments = 0;
    bool real_time = false;
    std::unique_ptr<flxgrd::Table> table;
    hotlink::HotlinkCollection hotlinks;
    int file_col = -1;
};

void BM_MatchTrackAgainstPhotos(benchmark::State& state)
{
    Fixture f;
    hotlink::MatchRequest r{*f.table, f.photos, "/photos", true, "1:0:0", "0", f.dialogs, f.hotlinks};
    for (auto _ : state) {
        state.PauseTiming();
        for (int row = 1; row <= flxgrd::kMaxRecords; ++row) f.grid.SetTextMatrix(row, f.file_col, "");
        state.ResumeTiming();
        hotlink::cmdMatch(r);
    }
    if (!f.dialogs.boxes().empty() || f.grid.TextMatrix(1, f.file_col).empty()) state.SkipWithError("no match");
    state.SetItemsProcessed(state.iterations() * flxgrd::kMaxRecords);
}
BENCHMARK(BM_MatchTrackAgainstPhotos)->Unit(benchmark::kMillisecond);

void BM_CheckForExistingHotlink(benchmark::State& state)
{
    Fixture f;
    for (int row = 1; row <= flxgrd::kMaxRecords; ++row)
        f.grid.SetTextMatrix(row, f.file_col, "/photos/IMG_" + std::to_string(row % kPhotos + 1) + ".JPG");
    for (auto _ : state) hotlink::checkForExistingHotlink(*f.table, f.photos, "/photos", f.dialogs);
    if (f.photos.TextMatrix(1, 2).empty()) state.SkipWithError("no links");
    state.SetItemsProcessed(state.iterations() * flxgrd::kMaxRecords);
}
BENCHMARK(BM_CheckForExistingHotlink)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
