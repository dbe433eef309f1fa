// gpsim: runs one simulated receiver on a pseudo-terminal (flags in gpsim.h).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/gpsim/gpsim.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

int usage(const char* why) {
  std::fprintf(stderr, "gpsim: %s\nusage: gpsim --scenario FILE [--link PATH] [--trace FILE] [--dump FILE] [--pace]\n"
                       "       [fault options: see tools/gpsim/gpsim.h]\n", why);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenario_path, link_path;
  gpsim::Options opt;
  gpsim::Faults& f = opt.faults;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string a = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return argv[++i];
      };
      if (a == "--scenario") scenario_path = value();
      else if (a == "--link") link_path = value();
      else if (a == "--trace") opt.trace_path = value();
      else if (a == "--dump") opt.dump_path = value();
      else if (a == "--pace") opt.pace = true;
      else if (a == "--ack-timeout") opt.ack_timeout_ms = std::stoi(value());
      else if (a == "--retries") opt.max_retries = std::stoi(value());
      else if (a == "--seed") f.seed = std::stoull(value());
      else if (a == "--corrupt") f.corrupt = gpsim::parse_number_list(value());
      else if (a == "--corrupt-rate") f.corrupt_rate = std::stod(value());
      else if (a == "--drop") f.drop = gpsim::parse_number_list(value());
      else if (a == "--drop-rate") f.drop_rate = std::stod(value());
      else if (a == "--cut") f.cut = gpsim::parse_pair_list(value());
      else if (a == "--duplicate") f.duplicate = gpsim::parse_number_list(value());
      else if (a == "--nmea-instead") f.nmea_instead = gpsim::parse_number_list(value());
      else if (a == "--nak-host") f.nak_host = gpsim::parse_number_list(value());
      else if (a == "--withhold-ack") f.withhold_ack = gpsim::parse_number_list(value());
      else if (a == "--delay-ack") f.delay_ack = gpsim::parse_pair_list(value());
      else if (a == "--silent-after") f.silent_after = std::stoi(value());
      else if (a == "--byte-writes") f.byte_writes = true;
      else if (a == "--merge-writes") f.merge_writes = true;
      else if (a == "--dle-payload") f.dle_payload = true;
      else return usage(("unknown option " + a).c_str());
    }
  } catch (const std::exception& e) {
    return usage(e.what());
  }
  if (scenario_path.empty()) return usage("--scenario is required");

  try {
    gpsim::Simulator sim(gpsim::load_scenario_file(scenario_path), opt);
    if (!link_path.empty()) sim.link(link_path);
    std::cout << sim.slave_path() << std::endl;
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGHUP, on_signal);
    while (!g_stop) sim.step(50);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gpsim: %s\n", e.what());
    return 1;
  }
  return 0;
}
