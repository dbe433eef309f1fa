// The gpsim program's command line: every option listed, bad values and
// paths refused with a message that names them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/tools/program.h"

namespace gpsim {
namespace {

using tools_test::Run_Program;

const std::string kGpsim = TREKFOLD_BINARY_DIR "/bin/gpsim";
const std::string kScenario = TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/d108-unit.json";

TEST(GpsimProgram, HelpListsEveryOption) {
  auto r = Run_Program(kGpsim + " --help");
  EXPECT_EQ(r.status, 0);
  for (const char* o : {"--scenario FILE", "--link PATH", "--trace FILE", "--dump FILE", "--pace", "--ack-timeout MS",
                        "--retries N", "--seed N", "--help", "--corrupt LIST", "--corrupt-rate P", "--drop LIST",
                        "--drop-rate P", "--cut N:K", "--duplicate LIST", "--nmea-instead LIST", "--nak-host LIST",
                        "--withhold-ack LIST", "--withhold-ack-id LIST", "--stop-ack ID:N", "--delay-ack N:MS", "--silent-after N", "--byte-writes",
                        "--merge-writes", "--dle-payload", "--endless", "--nmea-replay FILE", "--nmea-loop"})
    EXPECT_NE(r.out.find("\n  " + std::string(o)), std::string::npos) << o;
}

TEST(GpsimProgram, BadValuesAndPathsAreRefusedByName) {
  struct Case {
    std::string args, message;
    int status;
  };
  char dir[] = "/tmp/gpsim-prog-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string file = std::string(dir) + "/notes";
  { std::ofstream(file) << "keep me"; }
  const Case cases[] = {
      {"--retries abc", "--retries: \"abc\" is not a whole number", 2},
      {"--ack-timeout 0", "--ack-timeout: \"0\"", 2},
      {"--silent-after 99999999999", "--silent-after: \"99999999999\"", 2},
      {"--drop-rate 2", "--drop-rate: \"2\" is not a probability", 2},
      {"--drop 3x", "--drop: \"3x\"", 2},
      {"--delay-ack 2:-5", "--delay-ack: \"-5\"", 2},
      {"--withhold-ack-id 256", "--withhold-ack-id: a packet ID is at most 255", 2},
      {"--stop-ack 35:0", "--stop-ack: an ID from 1 to 255 and a count from 1", 2},
      {"--frobnicate", "unknown option --frobnicate", 2},
      {"--trace /nonexistent-dir/t.jsonl", "cannot write the trace /nonexistent-dir/t.jsonl", 1},
      {"--dump " + std::string(dir), "cannot write the dump " + std::string(dir), 1},
      {"--link " + file, file + " exists and is not a link", 1},
      {"--nmea-replay " + file, "--nmea-replay needs an NMEA scenario", 1},
      {"--nmea-loop", "--nmea-loop needs --nmea-replay", 2},
  };
  for (const Case& c : cases) {
    auto r = Run_Program(kGpsim + " --scenario " + kScenario + " " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
  }
  const std::string comments = std::string(dir) + "/comments.log";
  { std::ofstream(comments) << "# a header\r\n\r\n"; }
  for (const std::string& log : {std::string("/nonexistent-dir/x.log"), comments}) {
    auto r = Run_Program(kGpsim + " --scenario " TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/nmea-4800-unit.json" +
                         " --nmea-replay " + log);
    EXPECT_EQ(r.status, 1) << log;
    EXPECT_NE(r.err.find(log), std::string::npos) << r.err;
  }
  EXPECT_EQ(tools_test::Slurp(file), "keep me");
  unlink(file.c_str());
  unlink(comments.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace gpsim
