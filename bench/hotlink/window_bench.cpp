// The hotlinking window's speed: listing a folder of a thousand photos
// with their capture dates, against ImageMagick's identify reading the
// same dates from the same files in the same run, and a header sort of the
// thousand rows.
#include "main/app/frm_main.h"
#include "main/hotlink/frm_hotlinking.h"
#include "main/hotlink/hotlink.h"
#include "main/program/compose.h"
#include "platform/events/fake_events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"
#include "tests/support/files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
constexpr int kPhotos = 1000;

// A folder of the four small sample photos copied 250 times each, and a
// main window whose hotlinking window lists it.
struct Fixture {
    test_support::TempDir dir;
    std::string photos = dir.path + "/photos";
    platform::Settings settings{dir.path + "/trekfold.ini"};
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports{&settings, [](const std::string&) { return std::optional<std::string>(); },
                            dir.path + "/dev", dir.path + "/sys"};
    app::frmMain main{{settings, dialogs, cursor, pump, ports}, TREKFOLD_BINARY_DIR "/bin"};
    hotlink::frmHotlinking* window = nullptr;

    Fixture()
    {
        fs::create_directories(photos);
        const char* const samples[] = {"Canon_40D.jpg", "DSCN0010.jpg", "DSCN0012.jpg", "Nikon_D70.jpg"};
        for (int k = 0; k < kPhotos; ++k) {
            char name[64];
            std::snprintf(name, sizeof name, "P%04d_%s", k, samples[k % 4]);
            fs::copy_file(TREKFOLD_TESTDATA_DIR "/exif/" + std::string(samples[k % 4]), photos + "/" + name);
        }
        app::install_subsystems(main);
        window = dynamic_cast<hotlink::frmHotlinking*>(main.form("frmHotlinking"));
        main.hotlink().show_frmHotlinking();
    }
    bool listed() const
    {
        return window->msfgTable.Rows() == kPhotos + 1 && window->msfgTable.TextMatrix(2, 1) == "2008:10:22 16:28:39";
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_ListThousandPhotos(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) f.window->SetText("Dir1", f.photos);
    if (!f.listed() || !f.dialogs.boxes().empty()) state.SkipWithError("not listed");
    state.SetItemsProcessed(state.iterations() * kPhotos);
}
BENCHMARK(BM_ListThousandPhotos)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The peer: one identify run over the same thousand files.
void BM_IdentifyThousandPhotos(benchmark::State& state)
{
    Fixture& f = fixture();
    const std::string command = "identify -format '%[EXIF:DateTimeOriginal]\\n' '" + f.photos + "'/*.jpg 2>/dev/null";
    int lines = 0;
    for (auto _ : state) {
        lines = 0;
        FILE* p = ::popen(command.c_str(), "r");
        if (!p) break;
        for (int c; (c = std::fgetc(p)) != EOF;) lines += c == '\n';
        ::pclose(p);
    }
    if (lines != kPhotos) state.SkipWithError("identify did not read every photo");
    state.SetItemsProcessed(state.iterations() * kPhotos);
}
BENCHMARK(BM_IdentifyThousandPhotos)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A header click on "InternalDate": descending and ascending in turn.
void BM_HeaderSortThousandRows(benchmark::State& state)
{
    Fixture& f = fixture();
    if (!f.listed()) f.window->SetText("Dir1", f.photos);
    for (auto _ : state) f.window->CellClick("msfgTable", 0, 1, 0, 1, false);
    if (f.window->msfgTable.Rows() != kPhotos + 1) state.SkipWithError("not listed");
    state.SetItemsProcessed(state.iterations() * kPhotos);
}
BENCHMARK(BM_HeaderSortThousandRows)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
