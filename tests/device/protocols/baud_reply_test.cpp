// The speed change against a receiver that answers with a speed of its own:
// a scripted responder on a pseudo-terminal.
#include "support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace brenvik::test {
namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "control_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

// Answers the baud request (ID 48) with an ACK and a baud reply carrying
// `reply`, and every abort command (ID 10, data 0 0) with its ACK.
class Responder {
public:
    explicit Responder(std::vector<std::uint8_t> reply) : reply_(std::move(reply))
    {
        char name[256];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        path_ = name;
        thread_ = std::thread([this] { run(); });
    }
    ~Responder()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }
    const std::string& path() const { return path_; }
    int baud_requests() const { return requests_; }

private:
    void put(const std::vector<std::uint8_t>& b) { (void)!write(master_, b.data(), b.size()); }
    void run()
    {
        std::vector<std::uint8_t> in;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            std::uint8_t buf[256];
            ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) continue;
            in.insert(in.end(), buf, buf + n);
            for (std::size_t i = 0; i + 3 < in.size(); ++i) {
                if (in[i] != 0x10) continue;
                if (in[i + 1] == 0x30 && in[i + 2] == 4) {
                    ++requests_;
                    put({0x10, 0x06, 0x02, 0x30, 0x00, 0xC8, 0x10, 0x03});
                    put(reply_);
                } else if (in[i + 1] == 0x0A && in[i + 2] == 2 && in[i + 3] == 0) {
                    put({0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03});
                }
            }
            in.clear();
        }
    }
    std::vector<std::uint8_t> reply_;
    int master_ = -1, slave_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
};

struct Host {
    std::shared_ptr<platform::Dispatch> object;
    Control* control = nullptr;
    Recorder events;
    explicit Host(const std::string& path)
    {
        app();
        Brenvik_Services s;
        s.port_path = [path](int) { return path; };
        object = Create_Brenvik(s);
        control = static_cast<Control*>(As_Brenvik(object.get()));
        control->Advise(&events);
        control->Port(3);
    }
};

TEST(BaudReply, AnotherSpeedIsFollowedButReportedAsFailure)
{
    // Asked for 115200, the receiver says 57600 (00 E1 00 00).
    Responder unit({0x10, 0x31, 0x04, 0x00, 0xE1, 0x00, 0x00, 0xEA, 0x10, 0x03});
    Host h(unit.path());
    ASSERT_TRUE(h.control->PortOpen());
    EXPECT_FALSE(h.control->Change_Baud_Rate(115200));
    EXPECT_EQ(h.control->Accepted_Baud(), 57600);
    EXPECT_EQ(h.control->Settings(), "57600,N,8,1");
    h.control->PortClose();
}

TEST(BaudReply, ASpeedWithinUartToleranceIsTheRequestedOne)
{
    // Asked for 115200, the receiver says 115385 (B9 C2 01 00).
    Responder unit({0x10, 0x31, 0x04, 0xB9, 0xC2, 0x01, 0x00, 0x4F, 0x10, 0x03});
    Host h(unit.path());
    ASSERT_TRUE(h.control->PortOpen());
    EXPECT_TRUE(h.control->Change_Baud_Rate(115200));
    EXPECT_EQ(h.control->Accepted_Baud(), 115385);
    EXPECT_EQ(h.control->Settings(), "115200,N,8,1");
    // A speed the port cannot take is never asked for.
    EXPECT_FALSE(h.control->Change_Baud_Rate(9000000));
    EXPECT_FALSE(h.control->Change_Baud_Rate(0));
    EXPECT_EQ(unit.baud_requests(), 1);
    EXPECT_EQ(h.control->Settings(), "115200,N,8,1");
    h.control->PortClose();
}

} // namespace
} // namespace brenvik::test
