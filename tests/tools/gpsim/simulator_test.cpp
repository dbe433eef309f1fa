// The simulator on a real pty, driven by step() from the test's own thread.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "tools/gpsim/frame.h"
#include "tools/gpsim/gpsim.h"

namespace gpsim {
namespace {

Scenario unit() {
  return parse_scenario(json::parse(R"({"product": {"id": 7, "version": 1.0},
    "formats": {"waypoint": "D100"}, "waypoints": [{"ident": "A"}]})"));
}

int open_host(const std::string& path, speed_t speed) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Steps the simulator until the host has read n packets (or rounds run out).
std::vector<Packet> exchange(Simulator& sim, int fd, const Packet& p, std::size_t n) {
  Bytes f = frame(p);
  EXPECT_EQ(write(fd, f.data(), f.size()), static_cast<ssize_t>(f.size()));
  Deframer d;
  std::vector<Packet> got;
  for (int round = 0; round < 40 && got.size() < n; ++round) {
    sim.step(20);
    std::uint8_t buf[512];
    ssize_t r;
    while ((r = read(fd, buf, sizeof buf)) > 0)
      for (auto& e : d.feed(buf, static_cast<std::size_t>(r)))
        if (e.kind == Deframer::Event::Good) got.push_back(e.packet);
  }
  return got;
}

TEST(GpsimSimulator, AnswersOverThePtyAndSurvivesReopening) {
  Simulator sim(unit(), Options{});
  char dir[] = "/tmp/gpsim-sim-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string link = std::string(dir) + "/gps0";
  sim.link(link);
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(sim.slave_path(), target);

  for (int cycle = 0; cycle < 2; ++cycle) {
    int fd = open_host(link, B9600);
    ASSERT_GE(fd, 0);
    auto got = exchange(sim, fd, {254, {0, 0}}, 2);
    ASSERT_EQ(got.size(), 2u) << "cycle " << cycle;
    EXPECT_EQ(got[0].id, 6);
    EXPECT_EQ(got[1].id, 255);
    EXPECT_EQ(got[1].data[0], 7);
    Bytes ack = frame({6, {255, 0}});
    EXPECT_EQ(write(fd, ack.data(), ack.size()), 8);
    sim.step(10);
    close(fd);  // the host goes away; the simulator's own handle keeps the pty
  }

  // At another line speed the unit hears noise and says nothing understandable.
  int fd = open_host(link, B19200);
  EXPECT_TRUE(exchange(sim, fd, {254, {0, 0}}, 1).empty());
  close(fd);
  bool noise = false;
  for (auto& t : sim.trace())
    if (t.contains("noise")) noise = true;
  EXPECT_TRUE(noise);

  unlink(link.c_str());
  rmdir(dir);
}

TEST(GpsimSimulator, LinkIsRemovedWithTheSimulator) {
  char dir[] = "/tmp/gpsim-sim-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string link = std::string(dir) + "/gps0";
  {
    Simulator sim(unit(), Options{});
    sim.link(link);
    sim.start();
    struct stat st;
    EXPECT_EQ(lstat(link.c_str(), &st), 0);
  }
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  rmdir(dir);
}

TEST(GpsimSimulator, LinkReplacesOnlyAnEarlierRunsLink) {
  char dir[] = "/tmp/gpsim-sim-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string file = std::string(dir) + "/notes", other = std::string(dir) + "/other",
                    stale = std::string(dir) + "/stale";
  { std::ofstream(file) << "keep me"; }
  ASSERT_EQ(symlink(file.c_str(), other.c_str()), 0);
  ASSERT_EQ(symlink("/dev/pts/999999", stale.c_str()), 0);
  {
    Simulator sim(unit(), Options{});
    EXPECT_THROW(sim.link(file), std::runtime_error);
    EXPECT_THROW(sim.link(other), std::runtime_error);
    sim.link(stale);
    char buf[256];
    ssize_t n = readlink(stale.c_str(), buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? n : 0), sim.slave_path());
  }
  std::ifstream in(file);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "keep me");
  struct stat st;
  EXPECT_EQ(lstat(other.c_str(), &st), 0);
  EXPECT_NE(lstat(stale.c_str(), &st), 0);  // ours, removed at the end
  for (const std::string& p : {file, other}) unlink(p.c_str());
  rmdir(dir);
}

TEST(GpsimSimulator, TraceOrDumpThatCannotBeWrittenIsRefused) {
  Options o;
  o.trace_path = "/nonexistent-dir/trace.jsonl";
  EXPECT_THROW(Simulator(unit(), o), std::runtime_error);
  o.trace_path.clear();
  o.dump_path = "/";
  EXPECT_THROW(Simulator(unit(), o), std::runtime_error);
}

}  // namespace
}  // namespace gpsim
