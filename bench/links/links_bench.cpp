// Refresh_Apps with 200 announced windows, 500 more processes and two DDE
// peers (ArcView, LandView) serving their topics; one DDE execute answered
// by a peer; and one kept real-time fix handed to both peers.
#include "tests/main/app/rig.h"
#include "tests/main/realtime/realtime_rig.h"
#include "bench/support/process.h"

#include "main/table/table.h"

#include "main/links/gis_links.h"
#include "platform/dde/dde.h"
#include "platform/windows/windows.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

// Serves topics on their sockets from a thread of its own: every
// connection is accepted, and each line read is answered {"ok":true}.
class Peers {
public:
    explicit Peers(const std::vector<std::pair<const char*, const char*>>& topics)
    {
        for (auto [service, topic] : topics) {
            const std::string path = platform::dde::Socket_Path(service, topic);
            ::unlink(path.c_str());
            int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            path.copy(a.sun_path, sizeof a.sun_path - 1);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0) std::abort();
            listeners_.push_back(fd);
            paths_.push_back(path);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~Peers()
    {
        stop_ = true;
        thread_.join();
        for (int fd : listeners_) ::close(fd);
        for (const auto& p : paths_) ::unlink(p.c_str());
    }

private:
    void run()
    {
        std::vector<int> clients;
        std::vector<std::string> pending;
        while (!stop_) {
            std::vector<pollfd> fds;
            for (int fd : listeners_) fds.push_back({fd, POLLIN, 0});
            for (int fd : clients) fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                if (i < listeners_.size()) {
                    int c = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (c >= 0) clients.push_back(c), pending.emplace_back();
                    continue;
                }
                const std::size_t k = i - listeners_.size();
                char buf[4096];
                ssize_t n = ::read(clients[k], buf, sizeof buf);
                if (n <= 0) {
                    ::close(clients[k]);
                    clients[k] = -1;
                    continue;
                }
                pending[k].append(buf, std::size_t(n));
                for (std::size_t at; (at = pending[k].find('\n')) != std::string::npos;) {
                    pending[k].erase(0, at + 1);
                    static const char ok[] = "{\"ok\":true}\n";
                    if (::write(clients[k], ok, sizeof ok - 1) < 0) break;
                }
            }
            for (std::size_t k = clients.size(); k-- > 0;)
                if (clients[k] < 0) clients.erase(clients.begin() + long(k)), pending.erase(pending.begin() + long(k));
        }
        for (int c : clients) ::close(c);
    }

    std::vector<int> listeners_;
    std::vector<std::string> paths_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Children {
    explicit Children(int n)
    {
        for (int i = 0; i < n; ++i) {
            pid_t p = ::fork();
            if (p == 0) {
                ::execlp("sleep", "sleep", "600", static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (p > 0) pids.push_back(p);
        }
    }
    ~Children()
    {
        for (pid_t p : pids) ::kill(p, SIGTERM);
        for (pid_t p : pids) ::waitpid(p, nullptr, 0);
    }
    std::vector<pid_t> pids;
};

void BM_Refresh_Apps_200Windows_500Processes_2Peers(benchmark::State& state)
{
    apptest::Rig r(false);
    ::setenv("TREKFOLD_WINDOWS_DIR", (r.dir.path + "/windows").c_str(), 1);
    ::setenv("TREKFOLD_DDE_DIR", (r.dir.path + "/dde").c_str(), 1);
    ::setenv("TREKFOLD_REGISTRY", (r.dir.path + "/none.ini").c_str(), 1);
    for (int i = 0; i < 200; ++i) platform::windows::Announce("Window" + std::to_string(i), "Document " + std::to_string(i));
    Children children(500);
    Peers peers({{"ArcView", "System"}, {"LandView", "WhereForm"}});
    r.load();
    links::Links gis(r.main);
    for (auto _ : state) gis.Refresh_Apps();
    if (r.main.Caption != "Ostrevane - Garmin / Arcview / Landview ") state.SkipWithError("peers not found");
    state.counters["windows"] = double(platform::windows::Top_Level_Windows().size());
}
BENCHMARK(BM_Refresh_Apps_200Windows_500Processes_2Peers)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DdeExecuteRoundTrip(benchmark::State& state)
{
    apptest::TempDir dir;
    ::setenv("TREKFOLD_DDE_DIR", (dir.path + "/dde").c_str(), 1);
    Peers peers(std::vector<std::pair<const char*, const char*>>{{"ArcView", "System"}});
    auto c = platform::dde::Conversation::Initiate("ArcView", "System");
    const std::string command = "av.run(\"GPS.ReceiveGarminFile\",{\"/tmp/a.shp\",\"shapefile\"})";
    for (auto _ : state) c->Execute(command);
}
BENCHMARK(BM_DdeExecuteRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One kept real-time fix through Point_Record with the real GIS links and
// both peers answering: the LandView poke and the ArcView execute, each on
// a conversation opened afresh as the program does for every fix, plus the
// table row (the only other step when no point file is recording). ArcMap
// is not linked.
void BM_KeptFixHandOffArcViewLandView(benchmark::State& state)
{
    rttest::Tracker t(false);
    ::setenv("TREKFOLD_DDE_DIR", (t.dir.path + "/dde").c_str(), 1);
    Peers peers({{"ArcView", "System"}, {"LandView", "WhereForm"}});
    auto owned = std::make_unique<links::Links>(t.main);
    links::Links& gis = *owned;
    t.main.set_links(std::move(owned));
    t.start();
    t.main.Timer1->set_enabled(false);
    long sent = 0, failed = 0;
    gis.on_dde = [&](const std::string&, const std::string&, const std::string&, int error) {
        ++(error ? failed : sent);
    };
    realtime::KeptPoint p;
    p.lon = -93.1, p.lat = 45.0, p.x = 492132.19211496, p.y = 4994064.09368362;
    p.row_text = "RTIMEWPT;rt1;45.00000000;-93.10000000;4994064.09368362;492132.19211496;312;3;4.2;6.0;0;0;0;0;0;0;0;0;3;"
                 "0.12;-0.40;0.01;0.00;0.00;7/4/2006;9:5:30; ";
    p.epe_text = "3";
    long fixes = 0;
    for (auto _ : state) {
        if (!t.main.realtime().Point_Record(p, "")) state.SkipWithError("Point_Record failed");
        if (++fixes % 1000 == 0) {
            state.PauseTiming();
            t.main.table().Table_Clear(); // the table's own limit stays far
            state.ResumeTiming();
        }
    }
    if (failed != 0 || sent != 2 * fixes) state.SkipWithError("a hand-off did not reach its peer");
    state.counters["sends_per_fix"] = fixes ? double(sent) / double(fixes) : 0.0;
}
BENCHMARK(BM_KeptFixHandOffArcViewLandView)->Iterations(5000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The measure tool's answer for a table of 32,766 track points as one line:
// the temporary UTM shapefile written and "SMT" sent to the LandView peer.
// ogr2ogr writes the same points, as one line in a CSV, projected to UTM
// zone 15 into a shapefile, timed in the same run.
constexpr int kMeasureRows = 32766;

double measure_lat(int i) { return 45.0 + (i % 1000) * 1e-4; }
double measure_lon(int i) { return -93.0 - (i / 1000) * 1e-4; }

void BM_LV_Table2Shapefile_32766RowsAsOneLine(benchmark::State& state)
{
    apptest::Rig r(false);
    ::setenv("TREKFOLD_DDE_DIR", (r.dir.path + "/dde").c_str(), 1);
    ::setenv("TEMP", r.dir.path.c_str(), 1);
    Peers peers(std::vector<std::pair<const char*, const char*>>{{"LandView", "WhereForm"}});
    r.load();
    links::Links gis(r.main);
    flxgrd::Table& t = r.main.table();
    t.Table_SetType("track");
    platform::Grid& g = r.main.MSFlexGrid1;
    const int lat = t.Column_Find("lat", false), lon = t.Column_Find("long", false), seg = t.Column_Find("new_seg", false);
    g.SetRedraw(false);
    for (int i = 0; i < kMeasureRows; ++i) {
        if (!t.Records_InsertValues({})) return state.SkipWithError("the table refused a row");
        g.SetTextMatrix(i + 1, lat, std::to_string(measure_lat(i)));
        g.SetTextMatrix(i + 1, lon, std::to_string(measure_lon(i)));
        g.SetTextMatrix(i + 1, seg, i == 0 ? "True" : "False");
    }
    long sent = 0;
    gis.on_dde = [&](const std::string&, const std::string&, const std::string& data, int error) {
        sent += !error && data.rfind("SMT", 0) == 0;
    };
    for (auto _ : state) gis.LV_Table2Shapefile("Line", "");
    if (sent != long(state.iterations())) state.SkipWithError("no SMT reply");
    ::unsetenv("TEMP");
}
BENCHMARK(BM_LV_Table2Shapefile_32766RowsAsOneLine)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Ogr2ogr_32766PointsAsOneLineToUtm15(benchmark::State& state)
{
    apptest::TempDir dir;
    {
        std::ofstream csv(dir.path + "/line.csv");
        csv << "WKT,ID\n\"LINESTRING (";
        char v[64];
        for (int i = 0; i < kMeasureRows; ++i) {
            std::snprintf(v, sizeof v, "%s%.6f %.6f", i ? "," : "", measure_lon(i), measure_lat(i));
            csv << v;
        }
        csv << ")\",1\n";
    }
    benchsupport::shell(state, "ogr2ogr -q -overwrite -s_srs EPSG:4326 -t_srs EPSG:32615 -f 'ESRI Shapefile' '" +
                                   dir.path + "/out.shp' '" + dir.path + "/line.csv'");
}
BENCHMARK(BM_Ogr2ogr_32766PointsAsOneLineToUtm15)->Unit(benchmark::kMillisecond)->UseRealTime();

// An incoming "RGS" answered in NMEA mode (no fix asked of the receiver):
// the link opened again and "TCL" poked to the LandView peer.
void BM_IncomingRgsAnsweredNmeaMode(benchmark::State& state)
{
    apptest::Rig r(false);
    ::setenv("TREKFOLD_DDE_DIR", (r.dir.path + "/dde").c_str(), 1);
    Peers peers(std::vector<std::pair<const char*, const char*>>{{"LandView", "WhereForm"}});
    r.load();
    links::Links gis(r.main);
    r.main.state().nmea_mode = true;
    r.main.lbllon.caption = "-93.25000000", r.main.lbllat.caption = "45.50000000", r.main.lblepe.caption = "2.5 m";
    long sent = 0;
    gis.on_dde = [&](const std::string&, const std::string&, const std::string& data, int error) {
        sent += !error && data.rfind("TCL", 0) == 0;
    };
    for (auto _ : state) {
        r.main.FromDDE.caption = "RGS";
        gis.FromDDE_Change();
    }
    if (sent != long(state.iterations())) state.SkipWithError("no TCL reply");
}
BENCHMARK(BM_IncomingRgsAnsweredNmeaMode)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
BENCHMARK_MAIN();
