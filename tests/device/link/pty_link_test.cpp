// The real port and the link on the Qt event loop, with the receiver's side
// of a pseudo-terminal driven from the test.
#include "fakes.h"

#include "device/link/link.h"
#include "platform/serial/serial_port.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace linktest;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "pty_link_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

struct PtyRig {
    int master = -1;
    std::string path;
    brenvik::ProtocolProperties props;
    brenvik::cSAK sak;
    FakeHost host;
    platform::SerialPort port;
    brenvik::Link link{platform::qt_event_pump(), props, sak, host};

    PtyRig()
    {
        app();
        int slave = -1;
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        struct termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        path = name;
        port.set_device_path(path);
        port.set_Settings("9600,N,8,1");
        if (port.Open() == 0) port.set_RThreshold(1);
        link.set_serial(&port);
    }
    ~PtyRig()
    {
        port.Close();
        if (master >= 0) ::close(master);
    }
    void send(const std::string& s) const { ASSERT_EQ(::write(master, s.data(), s.size()), (ssize_t)s.size()); }
    std::string receive() const
    {
        std::string out;
        char buf[512];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0) out.append(buf, n);
        return out;
    }
    void run_for(int ms) const
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Runs the event loop until the condition holds, with a deadline long
    // enough for a busy machine.
    template <class Condition> bool run_until(Condition done) const
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > 30000) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
};

const Packet kOut = pkt({0x10, 0x23, 0x02, 0x41, 0x42, 0x00, 0x10, 0x03});
const std::string kOutWire = bytes({0x10, 0x23, 0x02, 0x41, 0x42, 0x58, 0x10, 0x03});
const std::string kAckWire23 = bytes({0x10, 0x06, 0x02, 0x23, 0x00, 0xD5, 0x10, 0x03});
// ID 0x22, size 3, data 10 10 03, checksum 0xB8.
const std::string kWireA = bytes({0x10, 0x22, 0x03, 0x10, 0x10, 0x10, 0x10, 0x03, 0xB8, 0x10, 0x03});
const std::string kAckWire22 = bytes({0x10, 0x06, 0x02, 0x22, 0x00, 0xD6, 0x10, 0x03});

} // namespace

TEST(PtyLink, CommandAndAcknowledgement)
{
    PtyRig r;
    ASSERT_TRUE(r.port.PortOpen());
    QTimer::singleShot(50, [&] {
        EXPECT_EQ(r.receive(), kOutWire);
        r.send(kAckWire23);
    });
    std::uint8_t resp = 6;
    std::int32_t wait = 20; // seconds: the answer comes at once, however busy the machine
    EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_EQ(r.port.RThreshold(), 1);
    EXPECT_TRUE(r.run_until([&] { return !r.host.of("Receive").empty(); }));
    auto received = r.host.of("Receive");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].packet, as_packet(kAckWire23));
}

TEST(PtyLink, RecordsAreAcknowledgedAndDispatched)
{
    PtyRig r;
    ASSERT_TRUE(r.port.PortOpen());
    // Arrives in pieces, with NMEA chatter in front.
    r.send("$GPRMC,1,A*3B\r\n");
    r.run_for(50);
    r.send(kWireA.substr(0, 5));
    r.run_for(50);
    r.send(kWireA.substr(5));
    EXPECT_TRUE(r.run_until([&] { return !r.host.dispatched.empty(); }));
    ASSERT_EQ(r.host.dispatched.size(), 1u);
    EXPECT_EQ(r.host.of("NMEA").size(), 1u);
    EXPECT_EQ(r.receive(), kAckWire22);
}

TEST(PtyLink, SilentReceiverTimesOut)
{
    PtyRig r;
    ASSERT_TRUE(r.port.PortOpen());
    std::uint8_t resp = 6;
    std::int32_t wait = 300;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_GE(t.elapsed(), 300);
    EXPECT_EQ(r.receive(), kOutWire);
}

TEST(PtyLink, WriteToAPeerThatStopsReadingFailsWithoutFreezingTheLoop)
{
    // The far end never reads: once the terminal's buffer is full, a send
    // must end with the error at its deadline, not block and not pass for
    // sent; a timer keeps firing meanwhile.
    PtyRig r;
    ASSERT_TRUE(r.port.PortOpen());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    Packet big = pkt({0x10, 0x23, 0xFF});
    big.resize(3 + 255 + 3, 0x41);
    bool sent = true;
    int count = 0, ticks_before = 0;
    // The pty takes some tens of kilobytes before it is full.
    while (sent && count < 2000) {
        ticks_before = ticks;
        std::uint8_t resp = 2;
        std::int32_t wait = 0;
        sent = r.link.Send_Packet(big, resp, wait);
        ++count;
    }
    EXPECT_FALSE(sent) << count << " packets went out";
    EXPECT_GT(ticks, ticks_before);
    auto errors = r.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 0);
    EXPECT_EQ(errors[0].text, "Unable to write to port 1");
    EXPECT_EQ(r.port.OutBufferCount(), 0);
}
