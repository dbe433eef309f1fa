// gpsim: runs one simulated receiver on a pseudo-terminal. `gpsim --help`
// lists every option (kHelp below); gpsim.h describes the trace and dump.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>

#include "tools/gpsim/gpsim.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

const char* const kHelp = R"(usage: gpsim --scenario FILE [OPTION]...
Runs a simulated GPS receiver on the far end of a pseudo-terminal: prints the
terminal's path as the first line of standard output, then answers a host on
it until SIGINT, SIGTERM or SIGHUP.

Options:
  --scenario FILE      the unit: identity, formats and stored records (JSON;
                       see tools/gpsim/scenario.h and tools/gpsim/scenarios/)
  --link PATH          also make PATH a symbolic link to the terminal; only a
                       link to a pseudo-terminal (left by an earlier run) is
                       replaced, never a file; removed at the end
  --trace FILE         write every frame both ways to FILE, JSON lines
  --dump FILE          write the uploaded records, decoded, to FILE, JSON lines
  --pace               pace output at 10 bits a byte of the current speed
  --ack-timeout MS     re-send when the host's ACK does not come within MS ms
                       (1 to 600000; default 1000)
  --retries N          re-sends before a transfer is abandoned (0 to 1000; 3)
  --pvt-period MS      one PVT record every MS ms while the stream runs (1 to
                       600000; default 1000)
  --pvt-replay FILE    from each start of the PVT stream, the frames of the
                       capture FILE in order ("#" lines at its top skipped),
                       one PVT record a period; nothing after the last
  --date-time-delay MS answer a date-and-time request after MS ms (0 to 600000)
  --seed N             seed of the rate faults (a whole number; default 1)
  --nmea-replay FILE   an NMEA unit (scenario "serial": {"nmea": true}) sends
                       the sentence lines of FILE in place of its own, byte
                       for byte, each ended CR LF ("#" and empty lines
                       skipped): one cycle (from one $GPRMC up to the next)
                       per "nmea_period_ms", from the host's first write;
                       silent after the last
  --nmea-loop          ... and again from the top after the last
  --help               print this help and exit

Faults (LIST is numbers and ranges from 1, such as "3,5-7"; the frames the unit
writes are numbered from 1, ACKs included; the host's packets that would be
ACKed are numbered from 1; the trace shows both numbers):
  --corrupt LIST       flip a data bit of these frames (bad checksum)
  --corrupt-rate P     ... or of each frame with probability P (0 to 1)
  --drop LIST          do not write these frames
  --drop-rate P        ... or each frame with probability P (0 to 1)
  --cut N:K[,N:K]...   write frame N without its last K bytes
  --duplicate LIST     write these frames twice
  --nmea-instead LIST  write an NMEA sentence in place of these frames
  --nak-host LIST      answer these host packets with NAK (not processed)
  --withhold-ack LIST  neither ACK nor process these host packets
  --withhold-ack-id LIST
                       ... nor any host packet with these IDs (1 to 255),
                       e.g. 27: the unit never acknowledges a records packet
  --stop-ack ID:N[,ID:N]...
                       from the N-th host packet with this ID (1 to 255) on,
                       acknowledge and take no host packet but commands and
                       product requests, e.g. 35:2: the unit stops taking an
                       upload at its second waypoint
  --delay-ack N:MS[,N:MS]...
                       ACK (and process) host packet N after MS ms (0 to 600000)
  --silent-after N     write nothing after the N-th frame
  --hold-line-after N  after the N-th frame, stop reading and hold the host's
                       output (as CTS held low)
  --byte-writes        one write() per byte
  --merge-writes       one write() per step
  --dle-payload        add a waypoint whose bytes are full of 0x10 and 0x10 0x03
  --stall N            a download stops after its N-th record (the count still
                       announces all; no transfer-complete packet); later
                       requests are answered
  --endless            never end a download of records: after the announced
                       records the unit sends them again and again (every
                       other round a little further north or south, so no
                       record repeats the one before), until the host aborts
                       or stops acknowledging

Exit status: 0 after a signal; 1 when the scenario, the terminal, the link,
the trace or the dump cannot be made; 2 for a bad option.
)";

int usage(const std::string& why) {
  std::fprintf(stderr, "gpsim: %s\n(gpsim --help lists the options)\n", why.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenario_path, link_path, replay_path;
  gpsim::Options opt;
  gpsim::Faults& f = opt.faults;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string a = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return argv[++i];
      };
      auto whole = [&](long long low, long long high) { return gpsim::parse_whole(a, value(), low, high); };
      if (a == "--help") {
        std::fputs(kHelp, stdout);
        return 0;
      }
      if (a == "--scenario") scenario_path = value();
      else if (a == "--link") link_path = value();
      else if (a == "--trace") opt.trace_path = value();
      else if (a == "--dump") opt.dump_path = value();
      else if (a == "--pace") opt.pace = true;
      else if (a == "--nmea-replay") replay_path = value();
      else if (a == "--nmea-loop") opt.nmea_loop = true;
      else if (a == "--ack-timeout") opt.ack_timeout_ms = static_cast<int>(whole(1, 600000));
      else if (a == "--retries") opt.max_retries = static_cast<int>(whole(0, 1000));
      else if (a == "--pvt-period") opt.pvt_period_ms = static_cast<int>(whole(1, 600000));
      else if (a == "--pvt-replay") opt.pvt_replay_path = value();
      else if (a == "--date-time-delay") opt.date_time_delay_ms = static_cast<int>(whole(0, 600000));
      else if (a == "--seed") f.seed = static_cast<std::uint64_t>(whole(0, std::numeric_limits<long long>::max()));
      else if (a == "--corrupt") f.corrupt = gpsim::parse_number_list(a, value());
      else if (a == "--corrupt-rate") f.corrupt_rate = gpsim::parse_fraction(a, value());
      else if (a == "--drop") f.drop = gpsim::parse_number_list(a, value());
      else if (a == "--drop-rate") f.drop_rate = gpsim::parse_fraction(a, value());
      else if (a == "--cut") f.cut = gpsim::parse_pair_list(a, value(), 100000);
      else if (a == "--duplicate") f.duplicate = gpsim::parse_number_list(a, value());
      else if (a == "--nmea-instead") f.nmea_instead = gpsim::parse_number_list(a, value());
      else if (a == "--nak-host") f.nak_host = gpsim::parse_number_list(a, value());
      else if (a == "--withhold-ack") f.withhold_ack = gpsim::parse_number_list(a, value());
      else if (a == "--withhold-ack-id") {
        f.withhold_ack_ids = gpsim::parse_number_list(a, value());
        if (*f.withhold_ack_ids.rbegin() > 255) throw std::invalid_argument(a + ": a packet ID is at most 255");
      }
      else if (a == "--stop-ack") {
        f.stop_ack = gpsim::parse_pair_list(a, value(), std::numeric_limits<int>::max());
        for (auto [id, n] : f.stop_ack)
          if (id > 255 || n < 1) throw std::invalid_argument(a + ": an ID from 1 to 255 and a count from 1");
      }
      else if (a == "--delay-ack") f.delay_ack = gpsim::parse_pair_list(a, value(), 600000);
      else if (a == "--silent-after") f.silent_after = static_cast<int>(whole(0, std::numeric_limits<int>::max()));
      else if (a == "--hold-line-after") f.hold_line_after = static_cast<int>(whole(0, std::numeric_limits<int>::max()));
      else if (a == "--byte-writes") f.byte_writes = true;
      else if (a == "--merge-writes") f.merge_writes = true;
      else if (a == "--dle-payload") f.dle_payload = true;
      else if (a == "--endless") f.endless = true;
      else if (a == "--stall") f.stall = static_cast<int>(whole(1, std::numeric_limits<int>::max()));
      else return usage("unknown option " + a);
    }
  } catch (const std::exception& e) {
    return usage(e.what());
  }
  if (scenario_path.empty()) return usage("--scenario is required");
  if (opt.nmea_loop && replay_path.empty()) return usage("--nmea-loop needs --nmea-replay");

  try {
    gpsim::Scenario scenario = gpsim::load_scenario_file(scenario_path);
    if (!replay_path.empty()) {
      if (!scenario.nmea) throw std::runtime_error("--nmea-replay needs an NMEA scenario (\"serial\": {\"nmea\": true})");
      opt.nmea_replay = gpsim::load_nmea_replay(replay_path);
    }
    gpsim::Simulator sim(std::move(scenario), opt);
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
