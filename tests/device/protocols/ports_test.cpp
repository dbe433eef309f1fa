// The speed search on the fake clock against a pseudo-terminal nobody
// answers: the order of the speeds, the lines it reports and its waits.
#include "support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace brenvik::test {
namespace {

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty()
    {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~Pty()
    {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
};

TEST(Ports, FindBaudWithNoReceiverTriesEverySpeedInOrder)
{
    // The port's receive notifier wants an application object.
    static int argc = 1;
    static char name[] = "control_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);

    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    platform::FakeEventPump pump;
    Brenvik_Services s;
    s.pump = &pump;
    s.port_path = [&](int) { return pty.path; };
    auto object = Create_Brenvik(s);
    Control& c = *static_cast<Control*>(As_Brenvik(object.get()));
    Recorder events;
    c.Advise(&events);
    c.Port(3);

    const std::int64_t t0 = pump.fake_clock().now_us();
    EXPECT_EQ(c.FindBaud("9600,N,8,1"), 0);
    // A probe of one second after the 50 ms open, then for each of the
    // seven speeds a 50 ms open and a probe of 500 ms.
    EXPECT_EQ(pump.fake_clock().now_us() - t0, 50'000 + 1'000'000 + 7 * (50'000 + 500'000));
    const std::vector<std::string> want{
        "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "HexDebug:Negotiating Baud Rate...",
        "HexDebug:Trying - 4800,N,8,1",   "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "HexDebug:Trying - 9600,N,8,1",   "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "HexDebug:Trying - 19200,N,8,1",  "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "HexDebug:Trying - 28800,N,8,1",  "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "HexDebug:Trying - 38400,N,8,1",  "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "HexDebug:Trying - 57600,N,8,1",  "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "HexDebug:Trying - 115200,N,8,1", "HexDebug:PC ** GPS Time-out. expecting PID-&H06",
        "cError:0:Can't determine present GPS baud rate.\r\nPower GPS off/on to reset to 9600,N,8,1"};
    EXPECT_EQ(events.log, want);
    EXPECT_EQ(c.Settings(), "9600,N,8,1");
    // Each probe is the abort command, written once per speed.
    // (The pseudo-terminal hands written bytes on a moment later.)
    const std::string probe("\x10\x0A\x02\x00\x00\xF4\x10\x03", 8);
    std::string out;
    std::size_t count = 0;
    for (int round = 0; round < 50 && count < 8; ++round) {
        pollfd p{pty.master, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buf[512];
            ssize_t n = read(pty.master, buf, sizeof buf);
            if (n > 0) out.append(buf, static_cast<std::size_t>(n));
        }
        count = 0;
        for (std::size_t at = 0; (at = out.find(probe, at)) != std::string::npos; at += probe.size()) ++count;
    }
    EXPECT_EQ(count, 8u);
}

} // namespace
} // namespace brenvik::test
