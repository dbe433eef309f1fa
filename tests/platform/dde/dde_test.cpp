// Conversations over the topic sockets: the wire format, the line limit,
// the client's errors against raw peers and the server's answers to a raw
// client driven from the loop.
#include "platform/dde/dde.h"

#include "platform/automation/vb_error.h"
#include "platform/events/events.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace dde = platform::dde;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "dde_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

class Dde : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        dir_ = std::filesystem::path(::testing::TempDir()) / ("dde-" + std::to_string(::getpid())) / "sockets";
        std::filesystem::remove_all(dir_);
        ::setenv("TREKFOLD_DDE_DIR", dir_.c_str(), 1);
    }
    std::filesystem::path dir_;
};

int raw_listen(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    ::unlink(path.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd, 4), 0);
    return fd;
}

int raw_connect(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// Sends `line`, then runs the loop until an answer line has come back.
std::string ask(platform::EventPump& pump, int fd, const std::string& line)
{
    std::string got;
    std::size_t off = 0;
    while (off < line.size()) {
        ssize_t n = ::send(fd, line.data() + off, line.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) off += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN) return "(send failed)";
        pump.run_pending();
    }
    pump.wait_until([&] {
        char buf[256];
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        if (n == 0) return true; // closed
        return got.find('\n') != std::string::npos;
    }, pump.clock().now_us() + 60'000'000);
    return got;
}

TEST_F(Dde, MessagesAndAnswersRoundTripAndBadLinesAreRejected)
{
    EXPECT_EQ(dde::Encode({"execute", "", "av.run(\"x\",{\"a\"})"}), "{\"data\":\"av.run(\\\"x\\\",{\\\"a\\\"})\",\"op\":\"execute\"}\n");
    auto m = dde::Decode(R"({"op":"poke","item":"FromDDE","data":"TCL1,2"})");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->item, "FromDDE");
    EXPECT_EQ(m->data, "TCL1,2");
    EXPECT_FALSE(dde::Decode(R"({"op":"poke","data":"x"})"));  // no item
    EXPECT_FALSE(dde::Decode(R"({"op":"execute","data":5})")); // not a text
    EXPECT_FALSE(dde::Decode(R"({"op":"drop"})"));
    EXPECT_FALSE(dde::Decode("{\"op\":\"exec"));
    EXPECT_FALSE(dde::Decode("[1]"));
    auto a = dde::Decode_Answer(dde::Encode_Answer(true, std::string("v")));
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->ok);
    EXPECT_EQ(a->data, "v");
    EXPECT_FALSE(dde::Decode_Answer(R"({"ok":1})"));
}

TEST_F(Dde, LineReaderSplitsLinesAndFailsForGoodPastTheLimit)
{
    dde::LineReader r;
    std::string line;
    r.feed("ab");
    EXPECT_EQ(r.next(line), dde::LineReader::Result::More);
    r.feed("c\r\nd\n");
    ASSERT_EQ(r.next(line), dde::LineReader::Result::Line);
    EXPECT_EQ(line, "abc");
    ASSERT_EQ(r.next(line), dde::LineReader::Result::Line);
    EXPECT_EQ(line, "d");
    r.feed(std::string(dde::kMaxLine, 'x'));
    EXPECT_EQ(r.next(line), dde::LineReader::Result::More); // exactly the limit, no end yet
    r.feed("y");
    EXPECT_EQ(r.next(line), dde::LineReader::Result::TooLong);
    r.feed("\n{}\n");
    EXPECT_EQ(r.next(line), dde::LineReader::Result::TooLong);
}

TEST_F(Dde, FolderIsPrivateAndSocketNamesAreLowerCased)
{
    EXPECT_EQ(dde::Socket_Path("ArcView", "System"), dir_.string() + "/arcview|system");
    struct stat st{};
    ASSERT_EQ(::stat(dir_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::chmod(dir_.c_str(), 0755);
    dde::Dde_Folder();
    ::stat(dir_.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Dde, InitiateWithoutServerAndAnswerErrors)
{
    try {
        dde::Conversation::Initiate("arcview", "system");
        ADD_FAILURE() << "no server, yet a conversation";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 282);
        EXPECT_EQ(e.description, "No foreign application responded to a DDE initiate");
    }
    // A dead socket file (nobody listens) is no server either.
    int dead = raw_listen(dde::Socket_Path("arcview", "system"));
    ::close(dead);
    EXPECT_THROW(dde::Conversation::Initiate("arcview", "system"), platform::VbError);

    // A peer that refuses, then one that closes, then one that never answers.
    int fd = raw_listen(dde::Socket_Path("peer", "t"));
    std::thread peer([fd] {
        int c = ::accept(fd, nullptr, nullptr);
        char buf[4096];
        ::recv(c, buf, sizeof buf, 0);
        ::send(c, "{\"ok\":false}\n", 13, MSG_NOSIGNAL);
        ::recv(c, buf, sizeof buf, 0);
        ::send(c, "{\"ok\":true,\"data\":\"42\"}\n", 24, MSG_NOSIGNAL);
        ::recv(c, buf, sizeof buf, 0); // the silent one
        ::recv(c, buf, sizeof buf, 0); // until the client closes
        ::close(c);
    });
    auto conv = dde::Conversation::Initiate("Peer", "T");
    try {
        conv->Execute("x");
        ADD_FAILURE();
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 285);
    }
    EXPECT_EQ(conv->Request("v"), "42");
    try {
        conv->Poke("i", "d");
        ADD_FAILURE();
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 286);
        EXPECT_EQ(e.description, "Timeout occurred while waiting for DDE response");
    }
    conv.reset();
    peer.join();
    ::close(fd);
}

TEST_F(Dde, ServedTopicAnswersAndRunsPokesOnTheNextTurnInOrder)
{
    platform::EventPump& pump = platform::qt_event_pump();
    std::vector<std::string> got;
    dde::Topic topic(pump, "Trekfold", "frmMain",
                     {[&](const std::string& c) { got.push_back("x:" + c); return c != "bad"; },
                      [&](const std::string& i, const std::string& d) { got.push_back("p:" + i + "=" + d); },
                      [&](const std::string& i) -> std::optional<std::string> {
                          if (i == "none") return std::nullopt;
                          return "is " + i;
                      }});
    EXPECT_EQ(topic.path(), dir_.string() + "/trekfold|frmmain");
    // A second server on a live topic is refused.
    EXPECT_THROW(dde::Topic(pump, "trekfold", "frmmain", {}), platform::VbError);

    int c = raw_connect(topic.path());
    // Two pokes and an execute in one write: the execute is answered and
    // run at once, the pokes are answered at once and run later, in order.
    std::string answers = ask(pump, c,
                              "{\"op\":\"poke\",\"item\":\"FromDDE\",\"data\":\"A\"}\n"
                              "{\"op\":\"poke\",\"item\":\"FromDDE\",\"data\":\"B\"}\n"
                              "{\"op\":\"execute\",\"data\":\"bad\"}\n");
    pump.wait_until([&] {
        char rest[256];
        ssize_t n = ::recv(c, rest, sizeof rest, MSG_DONTWAIT);
        if (n > 0) answers.append(rest, static_cast<std::size_t>(n));
        return got.size() == 3 && std::count(answers.begin(), answers.end(), '\n') == 3;
    }, pump.clock().now_us() + 60'000'000);
    EXPECT_EQ(answers, "{\"ok\":true}\n{\"ok\":true}\n{\"ok\":false}\n");
    EXPECT_EQ(got, (std::vector<std::string>{"x:bad", "p:FromDDE=A", "p:FromDDE=B"}));
    EXPECT_EQ(ask(pump, c, "{\"op\":\"request\",\"item\":\"q\"}\n"), "{\"data\":\"is q\",\"ok\":true}\n");
    EXPECT_EQ(ask(pump, c, "{\"op\":\"request\",\"item\":\"none\"}\n"), "{\"ok\":false}\n");
    EXPECT_EQ(ask(pump, c, "not json\n"), "{\"ok\":false}\n");

    // A 2 MiB line closes that connection only.
    int other = raw_connect(topic.path());
    std::string closed = ask(pump, other, std::string(2u << 20, 'z') + "\n");
    EXPECT_TRUE(closed.empty() || closed == "(send failed)") << closed;
    EXPECT_EQ(ask(pump, c, "{\"op\":\"execute\",\"data\":\"ok\"}\n"), "{\"ok\":true}\n");
    ::close(other);
    ::close(c);
}

TEST_F(Dde, ADeadSocketFileIsReplacedByANewServer)
{
    platform::EventPump& pump = platform::qt_event_pump();
    ::close(raw_listen(dde::Socket_Path("landview", "whereform")));
    dde::Topic topic(pump, "LandView", "WhereForm", {});
    int c = raw_connect(topic.path());
    EXPECT_EQ(ask(pump, c, "{\"op\":\"execute\",\"data\":\"x\"}\n"), "{\"ok\":false}\n");
    ::close(c);
}

} // namespace

namespace {

// Runs the loop until `done` holds (a minute at most).
bool until(platform::EventPump& pump, const std::function<bool()>& done)
{
    return pump.wait_until(done, pump.clock().now_us() + 60'000'000);
}

bool closed_by_peer(int fd)
{
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

TEST_F(Dde, ConnectionsAndTheirHalfLinesAreCapped)
{
    platform::EventPump& pump = platform::qt_event_pump();
    dde::Topic topic(pump, "trekfold", "frmmain", {nullptr, [](const std::string&, const std::string&) {}, nullptr});
    std::vector<int> clients;
    for (std::size_t i = 0; i < dde::kMaxConnections + 8; ++i) {
        clients.push_back(raw_connect(topic.path()));
        until(pump, [&] { return topic.connections() == std::min(clients.size(), dde::kMaxConnections) &&
                                 (clients.size() <= dde::kMaxConnections || closed_by_peer(clients.back())); });
    }
    EXPECT_EQ(topic.connections(), dde::kMaxConnections);
    for (std::size_t i = dde::kMaxConnections; i < clients.size(); ++i) EXPECT_TRUE(closed_by_peer(clients[i])) << i;

    // Half lines of 512 KiB from each: the topic holds no more than its
    // bound, and drops the clients that would pass it.
    const std::string half(512u << 10, 'h');
    for (std::size_t i = 0; i < dde::kMaxConnections; ++i) {
        std::size_t off = 0;
        until(pump, [&] {
            ssize_t n = ::send(clients[i], half.data() + off, half.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) off += static_cast<std::size_t>(n);
            return off == half.size() || (n < 0 && errno != EAGAIN);
        });
    }
    until(pump, [&] { return topic.connections() <= dde::kMaxBuffered / half.size(); });
    EXPECT_LE(topic.buffered(), dde::kMaxBuffered);
    EXPECT_LE(topic.connections(), dde::kMaxBuffered / half.size());

    // Once the crowd has gone a new client is answered.
    for (int c : clients) ::close(c);
    until(pump, [&] { return topic.connections() == 0; });
    EXPECT_EQ(topic.buffered(), 0u);
    int fresh = raw_connect(topic.path());
    EXPECT_EQ(ask(pump, fresh, "{\"op\":\"poke\",\"item\":\"FromDDE\",\"data\":\"x\"}\n"), "{\"ok\":true}\n");
    ::close(fresh);
}

TEST_F(Dde, OutOfDescriptorsTheTopicPausesUntilAConnectionCloses)
{
    platform::EventPump& pump = platform::qt_event_pump();
    dde::Topic topic(pump, "trekfold", "frmmain", {nullptr, [](const std::string&, const std::string&) {}, nullptr});
    // A client that comes and goes first (the sanitizers' checks of the
    // calls it makes need descriptors of their own the first time).
    int once = raw_connect(topic.path());
    until(pump, [&] { return topic.connections() == 1; });
    ::close(once);
    until(pump, [&] { return topic.connections() == 0; });
    int first = raw_connect(topic.path());
    until(pump, [&] { return topic.connections() == 1; });
    int waiting = raw_connect(topic.path());

    // Every descriptor taken: the next accept fails and the topic stops
    // watching its socket (it would fire again at once).
    rlimit old{};
    ::getrlimit(RLIMIT_NOFILE, &old);
    std::vector<int> filler{::dup(0)};
    rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(filler.back() + 1);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    for (int fd; (fd = ::dup(0)) >= 0;) filler.push_back(fd);
    pump.run_pending();
    EXPECT_TRUE(until(pump, [&] { return !topic.accepting(); }));
    EXPECT_EQ(topic.connections(), 1u);

    // A descriptor free and a connection closed: the waiting client is taken.
    ::close(filler.back());
    filler.pop_back();
    ::close(first);
    EXPECT_TRUE(until(pump, [&] { return topic.accepting() && topic.connections() == 1; }));
    for (int fd : filler) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(ask(pump, waiting, "{\"op\":\"poke\",\"item\":\"FromDDE\",\"data\":\"x\"}\n"), "{\"ok\":true}\n");
    ::close(waiting);
}

} // namespace
