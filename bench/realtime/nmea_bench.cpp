// NMEA intake speed: 100,000 sentences (the SiRF track repeated) through
// the control's NMEA event with tracking on (table rows, projected), the
// viewer hidden, against
// gpsbabel reading the same file as NMEA in the same run; and the viewer's
// cost per line with a short and with a long text (it must not grow).
//
// Counters: ours_s and gpsbabel_s the seconds on the clock per pass,
// ours_cpu_s and gpsbabel_cpu_s the processor seconds; ratio and ratio_cpu
// = ours / gpsbabel's (below 1: faster); ns_per_line the viewer's time per
// appended line.
#include "bench/support/main_window.h"
#include "bench/support/process.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/realtime.h"
#include "tests/main/app/fake_garmin.h"
#include "tests/main/realtime/realtime_rig.h"
#include "main/coords/coords.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using benchsupport::scratch;
using benchsupport::timed;

constexpr int kSentences = 100000;

// The track's sentence lines, repeated up to kSentences; also as a file.
const std::vector<std::string>& sentences()
{
    static const std::vector<std::string> lines = [] {
        std::ifstream in(std::string(TREKFOLD_TESTDATA_DIR) + "/nmea/sirf-track.nmea");
        std::vector<std::string> track, out;
        for (std::string l; std::getline(in, l);) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            if (!l.empty() && l[0] == '$') track.push_back(l);
        }
        while (!track.empty() && out.size() < std::size_t(kSentences))
            for (const auto& l : track)
                if (out.size() < std::size_t(kSentences)) out.push_back(l);
        std::ofstream file(scratch() + "/track.nmea");
        for (const auto& l : out) file << l << "\r\n";
        return out;
    }();
    return lines;
}

// The main window hosting a fake control.
struct Window : benchsupport::MainWindow {
    Window() : MainWindow("/opt/trekfold", false), garmin(log) { main.host_garmin(&garmin); }
    ~Window() { main.host_garmin(nullptr); }
    std::vector<std::string> log;
    apptest::FakeGarmin garmin;
};

// Processor seconds of this process and of its ended children: on a
// shared machine they vary far less than the time on the clock.
double cpu_seconds(int who)
{
    rusage u{};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// With TZ unset gpsbabel reads the zone file again for every fix; it is
// timed at its best, with the zone given.
std::string gpsbabel_command()
{
    return "TZ=UTC gpsbabel -t -i nmea -f " + scratch() + "/track.nmea -o unicsv -F /dev/null";
}

// gpsbabel on the same sentences, 3 runs: seconds on the clock and of
// processor time per run.
struct Peer {
    double seconds = 0, cpu = 0;
    bool ok = true;
};
Peer gpsbabel_runs()
{
    sentences();
    Peer p;
    const double cpu0 = cpu_seconds(RUSAGE_CHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) p.ok = benchsupport::run(gpsbabel_command()) && p.ok;
    p.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / 3;
    p.cpu = (cpu_seconds(RUSAGE_CHILDREN) - cpu0) / 3;
    return p;
}

void BM_Gpsbabel_Nmea_100000(benchmark::State& state)
{
    sentences();
    bool ok = true;
    timed(state, [&] { ok = benchsupport::run(gpsbabel_command()) && ok; });
    if (!ok) state.SkipWithError("gpsbabel failed or is missing");
}
BENCHMARK(BM_Gpsbabel_Nmea_100000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Tracking started in table mode with a projection: every "$GPRMC" is a
// projected row, the other sentences fill the values.
void BM_garmin_NMEA_100000(benchmark::State& state)
{
    const auto& lines = sentences();
    rttest::Tracker t(false, true);
    std::filesystem::create_directories(t.dir.path + "/proj/nad");
    std::ofstream(t.dir.path + "/proj/nad/epsg")
        << "# WGS 84 / UTM zone 15N\n<32615> +proj=utm +zone=15 +datum=WGS84 +units=m +no_defs  no_defs <>\n";
    t.main.set_coords(coords::make_coordinates(t.main));
    t.settings.SaveSetting("proj", "projfile", "epsg");
    t.settings.SaveSetting("proj", "proj", "32615");
    t.main.coords().LoadProjections("epsg");
    t.start();
    t.main.Timer1->set_enabled(false);
    realtime::RealTime& rt = t.main.realtime();
    int rows = 0;
    double cpu = 0;
    double s = timed(state, [&] {
        const double cpu0 = cpu_seconds(RUSAGE_SELF);
        for (const auto& l : lines) rt.garmin_NMEA(l, false);
        cpu += cpu_seconds(RUSAGE_SELF) - cpu0;
        rows = t.main.state().record_counter;
        state.PauseTiming();
        // A fresh table and viewer text for the next pass, as a new session starts.
        t.main.table().Table_Clear();
        t.main.state().record_counter = 0;
        rt.NMEAViewer().Unload();
        t.log.clear();
        state.ResumeTiming();
    });
    cpu /= double(std::max<std::int64_t>(1, state.iterations()));
    // The peer on the same sentences in the same run, right after ours.
    const Peer babel = gpsbabel_runs();
    state.counters["ours_s"] = s;
    state.counters["ours_cpu_s"] = cpu;
    if (babel.ok && babel.seconds > 0) {
        state.counters["gpsbabel_s"] = babel.seconds;
        state.counters["gpsbabel_cpu_s"] = babel.cpu;
        state.counters["ratio"] = s / babel.seconds;
        if (babel.cpu > 0) state.counters["ratio_cpu"] = cpu / babel.cpu;
    }
    state.counters["rows"] = rows;
    if (!t.dialogs.boxes().empty()) state.SkipWithError(("a box: " + t.dialogs.boxes().front().text).c_str());
}
BENCHMARK(BM_garmin_NMEA_100000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Appending 10,000 lines to a viewer already holding range(0) lines.
void BM_Viewer_Append(benchmark::State& state)
{
    const auto& lines = sentences();
    Window w;
    realtime::frmNMEAViewer& v = w.main.realtime().NMEAViewer();
    for (long i = 0; i < state.range(0); ++i) v.AddLine(lines[std::size_t(i) % lines.size()], "$GPGGA");
    constexpr int kAppended = 10000;
    double s = timed(state, [&] {
        for (int i = 0; i < kAppended; ++i) v.AddLine(lines[std::size_t(i) % lines.size()], "$GPGGA");
    });
    state.counters["ns_per_line"] = s * 1e9 / kAppended;
    state.counters["text_MB"] = double(v.Text().size()) / 1e6;
}
BENCHMARK(BM_Viewer_Append)->Arg(100)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
