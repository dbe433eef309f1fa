// The termios port against a pseudo-terminal whose master side the test drives.
#include "platform/serial/serial_port.h"
#include "tests/support/files.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <termios.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using platform::SerialPort;

long tcgets2_speed(int fd);

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "serial_port_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty()
    {
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        path = name;
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        // Raw master side, so bytes pass unchanged both ways.
        struct termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        // The port opens the slave by path; our own descriptor would hold the
        // terminal too, so let it go.
        ::close(slave);
        slave = -1;
    }
    ~Pty()
    {
        if (master >= 0) ::close(master);
    }
    void send(const std::string& s) const { ASSERT_EQ(::write(master, s.data(), s.size()), (ssize_t)s.size()); }
    // Reads until `size` bytes came or the (generous) deadline passed.
    std::string receive(std::size_t size) const
    {
        std::string out;
        QElapsedTimer t;
        t.start();
        char buf[512];
        while (out.size() < size && t.elapsed() < kDeadlineMs) {
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                out.append(buf, n);
            else
                ::usleep(2000);
        }
        return out;
    }
    static constexpr int kDeadlineMs = 30000;
};

void process_for(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A port opened on a fresh pty.
struct OpenPort {
    Pty pty;
    SerialPort p;
    OpenPort()
    {
        app();
        p.set_device_path(pty.path);
        EXPECT_EQ(p.Open(), 0);
    }
};

// Runs the event loop until the condition holds; false at the deadline, long
// enough for a busy machine.
template <class Condition> bool process_until(Condition done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > Pty::kDeadlineMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace

TEST(SerialPort, OpensExclusivelyAndReportsWhy)
{
    app();
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    SerialPort a;
    a.set_device_path(pty.path);
    ASSERT_EQ(a.Open(), 0);
    EXPECT_TRUE(a.PortOpen());
    SerialPort b;
    b.set_device_path(pty.path);
    EXPECT_EQ(b.Open(), platform::comPortAlreadyOpen);
    EXPECT_FALSE(b.PortOpen());
    a.Close();
    EXPECT_EQ(b.Open(), 0);
    b.Close();

    SerialPort missing;
    missing.set_device_path("/dev/no-such-serial-port");
    EXPECT_EQ(missing.Open(), platform::comPortInvalid);
    test_support::TempDir dir;
    const std::string file = dir.path + "/not-a-tty.txt";
    std::ofstream(file) << "x";
    SerialPort regular;
    regular.set_device_path(file);
    EXPECT_EQ(regular.Open(), platform::comPortOpenFailed);

    // COM numbers resolve through the environment first.
    ::setenv("TREKFOLD_COM7", pty.path.c_str(), 1);
    SerialPort com;
    com.set_CommPort(7);
    EXPECT_EQ(com.device_path(), pty.path);
    ::unsetenv("TREKFOLD_COM7");
}

TEST(SerialPort, SettingsIncludingNonStandardSpeeds)
{
    app();
    Pty pty;
    SerialPort p;
    p.set_device_path(pty.path);
    EXPECT_TRUE(p.set_Settings("4800,N,8,1"));
    ASSERT_EQ(p.Open(), 0);
    EXPECT_EQ(p.actual_speed(), 4800);
    EXPECT_TRUE(p.set_Settings("28800,N,8,1"));
    EXPECT_EQ(p.actual_speed(), 28800);
    // Read back on the master side, which shares the terminal's settings.
    EXPECT_EQ(tcgets2_speed(pty.master), 28800);
    EXPECT_TRUE(p.set_Settings("115200,e,7,2"));
    EXPECT_EQ(p.actual_speed(), 115200);
    for (const char* bad : {"", "9600", "fast,N,8,1", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "0,N,8,1",
                            "9600,N,8,1,1"}) {
        EXPECT_FALSE(p.set_Settings(bad)) << bad;
    }
    EXPECT_EQ(p.Settings(), "115200,e,7,2");
    p.set_Handshaking(platform::Handshaking::comRTSXOnXOff);
    p.set_RTSEnable(true);
    p.set_DTREnable(true);
    EXPECT_TRUE(p.PortOpen());
}

TEST(SerialPort, BytesBothWaysAndTheReceiveEvent)
{
    OpenPort o;
    ASSERT_TRUE(o.p.PortOpen());
    Pty& pty = o.pty;
    SerialPort& p = o.p;
    const std::string all_bytes = [] {
        std::string s;
        for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
        return s;
    }();
    p.Output(std::span(reinterpret_cast<const std::uint8_t*>(all_bytes.data()), all_bytes.size()));
    EXPECT_EQ(pty.receive(all_bytes.size()), all_bytes);

    int events = 0;
    std::string got;
    p.set_OnComm([&] {
        ++events;
        EXPECT_EQ(p.CommEvent(), platform::comEvReceive);
        got += p.Input();
    });
    // Threshold 0: no events, the bytes wait.
    pty.send("\x10\x03 abc");
    EXPECT_TRUE(process_until([&] { return p.InBufferCount() == 6; })) << p.InBufferCount();
    process_for(50);
    EXPECT_EQ(events, 0);
    p.ClearInput();
    EXPECT_EQ(p.InBufferCount(), 0);
    p.set_RThreshold(1);
    pty.send(all_bytes);
    EXPECT_TRUE(process_until([&] { return got.size() >= all_bytes.size(); }));
    EXPECT_GE(events, 1);
    EXPECT_EQ(got, all_bytes);
}

TEST(SerialPort, FarEndClosingLeavesAQuietOpenPort)
{
    app();
    SerialPort p;
    {
        Pty pty;
        p.set_device_path(pty.path);
        ASSERT_EQ(p.Open(), 0);
        p.set_RThreshold(1);
    }
    process_for(100);
    EXPECT_EQ(p.Input(), "");
    EXPECT_TRUE(p.PortOpen());
}

// A receive handler that answers the far end gets the reply in its own next
// event, even when the reply is already waiting as the handler returns (an
// upload sends its next record from inside the acknowledgement's event).
TEST(SerialPort, BytesArrivingDuringTheHandlerRaiseTheNextEvent)
{
    OpenPort o;
    ASSERT_TRUE(o.p.PortOpen());
    Pty& pty = o.pty;
    SerialPort& p = o.p;
    int events = 0;
    std::string got;
    p.set_OnComm([&] {
        ++events;
        got += p.Input();
        if (events == 1) {
            // The far end's answer lands before this handler returns.
            pty.send("reply");
            ::usleep(20000);
        }
    });
    p.set_RThreshold(1);
    pty.send("ack");
    EXPECT_TRUE(process_until([&] { return got.size() >= 8; }));
    process_for(50);
    EXPECT_EQ(got, "ackreply");
    EXPECT_EQ(events, 2);
}

TEST(SerialPort, OutputQueuesWhatTheLineCannotTakeAndSendsItAsThePeerReads)
{
    OpenPort o;
    ASSERT_TRUE(o.p.PortOpen());
    Pty& pty = o.pty;
    SerialPort& p = o.p;
    // Far more than the terminal holds: taken at once, the rest queued.
    const std::vector<std::uint8_t> chunk(4096, 0x55);
    const std::size_t total = 64 * chunk.size();
    for (int i = 0; i < 64; ++i) ASSERT_TRUE(p.Output(chunk));
    EXPECT_GT(p.OutBufferCount(), 0);
    // The peer reads: the queue goes out as the event loop runs.
    std::size_t got = 0;
    char buf[8192];
    QElapsedTimer t;
    t.start();
    while (got < total && t.elapsed() < 20000) {
        ssize_t n = ::read(pty.master, buf, sizeof buf);
        if (n > 0) got += static_cast<std::size_t>(n);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_EQ(got, total);
    EXPECT_EQ(p.OutBufferCount(), 0);
    // ClearOutput drops what has not gone out.
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(p.Output(chunk));
    EXPECT_GT(p.OutBufferCount(), 0);
    p.ClearOutput();
    EXPECT_EQ(p.OutBufferCount(), 0);
    p.Close();
    EXPECT_FALSE(p.Output(chunk));
}

TEST(SerialPort, WireTimeFollowsTheSettings)
{
    EXPECT_EQ(platform::Wire_Time_us("9600,N,8,1", 960), 1000000);
    // 4800 baud, start + 7 data + parity + 2 stop bits = 11 bits a character.
    EXPECT_EQ(platform::Wire_Time_us("4800,E,7,2", 48), 110000);
    EXPECT_EQ(platform::Wire_Time_us("nonsense", 96), 100000);  // taken as 9600,N,8,1
}
