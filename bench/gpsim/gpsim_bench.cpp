// Round trips through the simulator's pty: a host writes a packet and waits
// for the simulated receiver's acknowledgement.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "tools/gpsim/frame.h"
#include "tools/gpsim/gpsim.h"

namespace {

gpsim::Scenario unit(int waypoints) {
  nlohmann::json j = {{"formats", {{"waypoint", "D108"}}}, {"waypoints", nlohmann::json::array()}};
  for (int i = 0; i < waypoints; ++i)
    j["waypoints"].push_back({{"ident", "WPT" + std::to_string(i)}, {"lat", 0.001 * i}, {"lon", -0.002 * i},
                              {"comment", "BENCHMARK WAYPOINT"}});
  return gpsim::parse_scenario(j);
}

struct HostPort {
  int fd;
  gpsim::Deframer in;
  explicit HostPort(const std::string& path) {
    fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t);
  }
  ~HostPort() { close(fd); }
  void send(const gpsim::Packet& p) {
    auto f = gpsim::frame(p);
    (void)!write(fd, f.data(), f.size());
  }
  gpsim::Packet next() {
    for (;;) {
      pollfd pf{fd, POLLIN, 0};
      if (poll(&pf, 1, 2000) <= 0) return {};
      std::uint8_t buf[512];
      ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return {};
      pending_ = in.feed(buf, static_cast<std::size_t>(n));
      for (auto& e : pending_)
        if (e.kind == gpsim::Deframer::Event::Good) queue_.push_back(e.packet);
      if (!queue_.empty()) {
        auto p = queue_.front();
        queue_.erase(queue_.begin());
        return p;
      }
    }
  }
  gpsim::Packet take() {
    if (!queue_.empty()) {
      auto p = queue_.front();
      queue_.erase(queue_.begin());
      return p;
    }
    return next();
  }
  std::vector<gpsim::Deframer::Event> pending_;
  std::vector<gpsim::Packet> queue_;
};

void BM_AckedRoundTrip(benchmark::State& state) {
  gpsim::Simulator sim(unit(0), gpsim::Options{});
  sim.start();
  HostPort host(sim.slave_path());
  for (auto _ : state) {
    host.send({10, {0, 0}});  // abort command: answered by an ACK
    auto p = host.take();
    if (p.id != 6) {
      state.SkipWithError("no ACK");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AckedRoundTrip)->UseRealTime();

void BM_WaypointDownload(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  gpsim::Simulator sim(unit(n), gpsim::Options{});
  sim.start();
  HostPort host(sim.slave_path());
  for (auto _ : state) {
    host.send({10, {7, 0}});
    int records = 0;
    for (;;) {
      auto p = host.take();
      if (p.id == 0) {
        state.SkipWithError("transfer stopped");
        return;
      }
      if (p.id == 6) continue;
      host.send({6, {p.id, 0}});
      if (p.id == 35) ++records;
      if (p.id == 12) break;
    }
    if (records != n) state.SkipWithError("wrong count");
  }
  state.SetItemsProcessed(state.iterations() * (n + 2));
}
BENCHMARK(BM_WaypointDownload)->Arg(100)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
