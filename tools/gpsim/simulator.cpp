#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "tools/gpsim/device.h"
#include "tools/gpsim/gpsim.h"

namespace gpsim {

int read_line_speed(int fd);  // line_speed.cpp

namespace {

std::int64_t now_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

[[noreturn]] void throw_errno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

speed_t speed_constant(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
  }
}

}  // namespace

long long parse_whole(const std::string& what, const std::string& text, long long low, long long high) {
  long long v = 0;
  std::size_t used = 0;
  bool ok = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-');
  if (ok) {
    try {
      v = std::stoll(text, &used, 10);
    } catch (const std::exception&) {
      ok = false;
    }
  }
  if (!ok || used != text.size() || v < low || v > high)
    throw std::invalid_argument(what + ": \"" + text + "\" is not a whole number from " + std::to_string(low) +
                                " to " + std::to_string(high));
  return v;
}

double parse_fraction(const std::string& what, const std::string& text) {
  double v = -1;
  std::size_t used = 0;
  try {
    if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) v = std::stod(text, &used);
  } catch (const std::exception&) {
    v = -1;
  }
  if (used != text.size() || !(v >= 0 && v <= 1))
    throw std::invalid_argument(what + ": \"" + text + "\" is not a probability from 0 to 1");
  return v;
}

// Frame and packet numbers count from 1.
constexpr long long kMaxNumber = 1'000'000'000;

std::set<int> parse_number_list(const std::string& what, const std::string& text) {
  std::set<int> out;
  std::size_t i = 0;
  if (text.empty()) throw std::invalid_argument(what + ": an empty list");
  while (i <= text.size()) {
    std::size_t end = text.find(',', i);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(i, end - i);
    std::size_t dash = item.find('-', 1);
    if (dash == std::string::npos) {
      out.insert(static_cast<int>(parse_whole(what, item, 1, kMaxNumber)));
    } else {
      long long a = parse_whole(what, item.substr(0, dash), 1, kMaxNumber);
      long long b = parse_whole(what, item.substr(dash + 1), 1, kMaxNumber);
      if (b < a || b - a > 100000)
        throw std::invalid_argument(what + ": \"" + item + "\" is not a range of at most 100001 numbers");
      for (long long k = a; k <= b; ++k) out.insert(static_cast<int>(k));
    }
    i = end + 1;
  }
  return out;
}

std::vector<std::vector<std::string>> parse_nmea_replay(const std::string& text) {
  std::vector<std::vector<std::string>> cycles;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    from = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (cycles.empty() || line.rfind("$GPRMC", 0) == 0) {
      if (cycles.empty() || !cycles.back().empty()) cycles.emplace_back();
    }
    cycles.back().push_back(std::move(line));
  }
  return cycles;
}

std::vector<std::vector<std::string>> load_nmea_replay(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the NMEA log " + path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto cycles = parse_nmea_replay(text);
  if (cycles.empty()) throw std::runtime_error("the NMEA log " + path + " holds no sentence line");
  return cycles;
}

std::map<int, int> parse_pair_list(const std::string& what, const std::string& text, int max_value) {
  std::map<int, int> out;
  std::size_t i = 0;
  if (text.empty()) throw std::invalid_argument(what + ": an empty list");
  while (i <= text.size()) {
    std::size_t end = text.find(',', i);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(i, end - i);
    std::size_t colon = item.find(':');
    if (colon == std::string::npos) throw std::invalid_argument(what + ": \"" + item + "\" is not a pair N:K");
    out[static_cast<int>(parse_whole(what, item.substr(0, colon), 1, kMaxNumber))] =
        static_cast<int>(parse_whole(what, item.substr(colon + 1), 0, max_value));
    i = end + 1;
  }
  return out;
}

Simulator::Simulator(Scenario scenario, Options options) {
  const int initial_speed = scenario.speed;
  options_pace_ = options.pace;
  device_ = std::make_unique<Device>(std::move(scenario), std::move(options));
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) throw_errno("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) throw_errno("unlockpt");
  char name[256];
  if (ptsname_r(master_, name, sizeof name) != 0) throw_errno("ptsname");
  slave_path_ = name;
  // Our own handle on the slave keeps the pty alive while the host closes
  // and re-opens its end.
  slave_ = open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) throw_errno("open " + slave_path_);
  termios t{};
  if (tcgetattr(slave_, &t) == 0) {
    cfmakeraw(&t);
    cfsetispeed(&t, speed_constant(initial_speed));
    cfsetospeed(&t, speed_constant(initial_speed));
    tcsetattr(slave_, TCSANOW, &t);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw_errno("pipe");
  line_speed_ = read_line_speed(slave_);
  device_->set_line_speed(line_speed_, now_us());
}

Simulator::~Simulator() {
  stop();
  if (!link_path_.empty()) {
    char buf[512];
    ssize_t n = readlink(link_path_.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, n) == slave_path_) unlink(link_path_.c_str());
  }
  for (int fd : {master_, slave_, wake_[0], wake_[1]})
    if (fd >= 0) close(fd);
}

void Simulator::link(const std::string& path) {
  if (symlink(slave_path_.c_str(), path.c_str()) != 0) {
    if (errno != EEXIST) throw_errno("symlink " + path);
    // Only a link to a pseudo-terminal, left by an earlier run, is
    // replaced; anything else at the path is kept.
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) throw_errno("lstat " + path);
    if (!S_ISLNK(st.st_mode)) throw std::runtime_error(path + " exists and is not a link: not replaced");
    char buf[512];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    const std::string target = n > 0 ? std::string(buf, n) : std::string();
    if (target.rfind("/dev/pts/", 0) != 0)
      throw std::runtime_error(path + " links to " + target + ", not to a pseudo-terminal: not replaced");
    const std::string fresh = path + ".gpsim-" + std::to_string(getpid());
    unlink(fresh.c_str());
    if (symlink(slave_path_.c_str(), fresh.c_str()) != 0) throw_errno("symlink " + fresh);
    if (rename(fresh.c_str(), path.c_str()) != 0) {
      const int e = errno;
      unlink(fresh.c_str());
      errno = e;
      throw_errno("rename " + fresh + " to " + path);
    }
  }
  link_path_ = path;
}

void Simulator::start() {
  if (running_.exchange(true)) return;
  thread_ = std::thread([this] { loop(); });
}

void Simulator::stop() {
  if (!running_.exchange(false)) return;
  char c = 1;
  (void)!write(wake_[1], &c, 1);
  if (thread_.joinable()) thread_.join();
}

void Simulator::loop() {
  while (running_) step(50);
}

void Simulator::step(int timeout_ms) {
  std::int64_t now = now_us();
  std::int64_t due = device_->next_deadline();
  int wait = timeout_ms;
  if (due != INT64_MAX) {
    std::int64_t ms = (due - now + 999) / 1000;
    if (ms < wait) wait = ms < 0 ? 0 : static_cast<int>(ms);
  }
  if (device_->line_held() && !line_held_) {
    // Output on the line stops for every opener of the slave: the host's
    // writes go nowhere, and nothing more is read from it.
    tcflow(slave_, TCOOFF);
    line_held_ = true;
  }
  pollfd fds[2] = {{master_, short(line_held_ ? 0 : POLLIN), 0}, {wake_[0], POLLIN, 0}};
  int r = poll(fds, 2, wait);
  if (r < 0 && errno != EINTR) return;
  if (fds[1].revents & POLLIN) {
    char buf[16];
    while (read(wake_[0], buf, sizeof buf) > 0) {}
  }
  now = now_us();
  const int line = read_line_speed(slave_);
  if (line != line_speed_) {
    // What the host has not read yet went out at the old speed: a port that
    // is re-opened at another speed never sees it.
    if (line_speed_ != 0) tcflush(slave_, TCIFLUSH);
    line_speed_ = line;
  }
  device_->set_line_speed(line, now);
  if (r > 0 && (fds[0].revents & POLLIN)) {
    std::uint8_t buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) {
      // Paced, the host's bytes take their time on the line too.
      if (options_pace_ && line_speed_ > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(n * 10'000'000LL / line_speed_));
      device_->feed(buf, static_cast<std::size_t>(n), now_us());
    }
  }
  device_->tick(now_us());
  for (auto& w : device_->take_writes()) {
    std::size_t off = 0;
    while (off < w.size()) {
      ssize_t n = ::write(master_, w.data() + off, w.size() - off);
      if (n > 0) {
        off += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        pollfd o{master_, POLLOUT, 0};
        if (poll(&o, 1, 50) <= 0) break;  // nobody reads: the rest is lost, as on a line
        continue;
      }
      break;
    }
    if (options_pace_) {
      int speed = device_->speed();
      if (speed > 0) std::this_thread::sleep_for(std::chrono::microseconds(w.size() * 10'000'000LL / speed));
    }
  }
}

int Simulator::speed() const { return device_->speed(); }
std::vector<nlohmann::json> Simulator::uploads() const { return device_->uploads(); }
std::vector<nlohmann::json> Simulator::trace() const { return device_->trace(); }
nlohmann::json Simulator::stored(const std::string& kind) const { return device_->stored(kind); }

}  // namespace gpsim
