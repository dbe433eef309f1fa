#include "platform/automation/collection_object.h"
#include "platform/automation/remote.h"
#include "platform/events/events.h"
#include "platform/settings/user_folder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform;
namespace rm = platform::remote;

namespace {

EventPump& pump()
{
    static int argc = 1;
    static char name[] = "remote_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return qt_event_pump();
}

// An object with a member table built from lambdas: Echo(v), Double(x&),
// Through(obj, v) (calls obj.Echo(v) back), Make() (a new object), Fail(),
// Read(collection) (its item "second" and its count), Hang_Up().
class Tester : public TableDispatch<> {
public:
    Tester()
    {
        members_.Add({"Echo", 1, [](std::vector<Variant>& a) { return a[0]; }, {}, {}, {}, 1, 1});
        members_.Add({"Double", 2, [](std::vector<Variant>& a) {
                          a[0] = Variant(a[0].ToDouble() * 2);
                          return Variant();
                      }, {}, {}, {}, 1, 1});
        members_.Add({"Through", 3, [](std::vector<Variant>& a) {
                          return CallByName(*a[0].ToObject(), "Echo", {a[1]});
                      }, {}, {}, {}, 2, 2});
        members_.Add({"Make", 4, [](std::vector<Variant>&) { return Variant(ObjectRef(std::make_shared<Tester>())); },
                      {}, {}, {}, 0, 0});
        members_.Add({"Fail", 5, [](std::vector<Variant>&) -> Variant { throw VbError(1004, "Tester", "it failed"); },
                      {}, {}, {}, 0, 0});
        members_.Add({"Read", 7, [](std::vector<Variant>& a) {
                          Dispatch& c = *a[0].ToObject();
                          return Variant(CallByName(c, "Item", {Variant("second")}).ToString() +
                                         GetByName(c, "Count").ToString());
                      }, {}, {}, {}, 1, 1});
        // Scale(table&): each pair of a table of pairs doubled in place;
        // Reshape(a&, b&): both replaced by arrays of other bounds.
        members_.Add({"Scale", 8, [](std::vector<Variant>& a) {
                          for (Variant& pair : a[0].ArrayRef().items_in_place())
                              for (Variant& v : pair.ArrayRef().items_in_place()) v = Variant(v.ToDouble() * 2);
                          return Variant();
                      }, {}, {}, {}, 1, 1});
        members_.Add({"Reshape", 9, [](std::vector<Variant>& a) {
                          VariantArray three(1, 3);
                          three.at(3) = Variant("c");
                          a[0] = Variant(three);
                          a[1] = Variant(std::move(three));
                          return Variant();
                      }, {}, {}, {}, 2, 2});
        members_.Add({"Hang_Up", 6, [this](std::vector<Variant>&) -> Variant {
                          if (hang_up) hang_up();
                          return Variant();
                      }, {}, {}, {}, 0, 0});
        // A box that waits for its person: the loop runs until answered.
        members_.Add({"Ask", 10, [this](std::vector<Variant>&) {
                          if (on_ask) on_ask();
                          pump().wait_until([this] { return !answer.empty(); }, pump().clock().now_us() + 600'000'000);
                          return Variant(answer);
                      }, {}, {}, {}, 0, 0});
    }
    std::function<void()> hang_up, on_ask;
    std::string answer;
};

struct Pair {
    std::shared_ptr<Tester> served = std::make_shared<Tester>();
    std::shared_ptr<rm::Connection> server, client;
    Pair()
    {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        server = rm::Connection::Adopt(fds[0], &pump(), served);
        client = rm::Connection::Adopt(fds[1], &pump());
    }
};

bool wait_for(const std::function<bool()>& done)
{
    return pump().wait_until(done, pump().clock().now_us() + 20'000'000);
}

std::vector<Variant> every_kind()
{
    VariantArray one(-2, 3);
    one.at(-2) = Variant(std::int32_t(7));
    one.at(-1) = Variant("seven");
    VariantArray inner(0, 1);
    inner.at(0) = Variant(true);
    one.at(0) = Variant(std::move(inner));
    VariantArray two(0, 2, 1, 3);
    for (int i = 0; i < 2; ++i)
        for (int j = 1; j <= 3; ++j) two.at(i, j) = Variant(i * 10.0 + j);
    return {Variant(),          Variant(NullValue{}),       Variant::Missing(),     Variant(std::int16_t(-3)),
            Variant(std::int32_t(-70000)), Variant(1.5f), Variant(-93.5),          Variant(DateValue{45000.25}),
            Variant("tëxt"),    Variant(false),             Variant(true),          Variant(std::uint8_t(200)),
            Variant(Bytes{0, 1, 255}, 3), Variant(std::move(one)), Variant(std::move(two)), Variant(VariantArray())};
}

// Answers each call-back Echo with another call through the server's
// "Through", `left` levels deep (for ever when negative), then with a text of
// 64 KiB.
struct Bouncer : TableDispatch<> {
    int calls = 0;
    int left = -1;
    std::weak_ptr<Dispatch> self;
    explicit Bouncer(ObjectRef root)
    {
        members_.Add({"Echo", 1, [this, root](std::vector<Variant>& a) {
                          ++calls;
                          if (left-- == 0) return Variant(std::string(64 << 10, 'x'));
                          return CallByName(*root, "Through", {Variant(ObjectRef(self.lock())), a[0]});
                      }, {}, {}, {}, 1, 1});
    }
};

} // namespace

TEST(Remote, EveryKindCrossesBothWaysAndByReferenceArgumentsComeBack)
{
    Pair p;
    ObjectRef root = p.client->Root();
    auto mine = std::make_shared<Tester>();
    for (const Variant& v : every_kind()) {
        const Variant there = CallByName(*root, "Echo", {v});
        EXPECT_EQ(there.Type(), v.Type());
        EXPECT_TRUE(there == v) << static_cast<int>(v.Type());
        // Served the other way, while the first call waits (nested).
        const Variant back = CallByName(*root, "Through", {Variant(ObjectRef(mine)), v});
        EXPECT_TRUE(back == v) << static_cast<int>(v.Type());
    }
    std::vector<Variant> args{Variant(21.25)};
    root->Invoke(IdOfName(*root, "Double"), InvokeKind::Method, args);
    EXPECT_EQ(args[0].ToDouble(), 42.5);
    // An object of the caller comes back as itself, not a proxy of a proxy.
    EXPECT_EQ(CallByName(*root, "Echo", {Variant(ObjectRef(mine))}).ToObject(), mine);
    // The collection object crosses as an object the other side reads.
    // A table of pairs comes back changed into the caller's own arrays; a
    // value that comes back in another shape (a byte array as an array
    // too) replaces the caller's.
    VariantArray table(0, 3);
    for (int i = 0; i < 3; ++i) {
        VariantArray pair(0, 2);
        pair.at(0) = Variant(i + 0.5), pair.at(1) = Variant(-i - 0.25);
        table.at(i) = Variant(std::move(pair));
    }
    args = {Variant(std::move(table))};
    const VariantArray* second = &args[0].ArrayRef().at(1).ArrayRef();
    root->Invoke(IdOfName(*root, "Scale"), InvokeKind::Method, args);
    EXPECT_EQ(&args[0].ArrayRef().at(1).ArrayRef(), second);
    EXPECT_EQ(args[0].ToArray().at(2).ToArray().at(0).ToDouble(), 5.0);
    EXPECT_EQ(args[0].ToArray().at(2).ToArray().at(1).ToDouble(), -4.5);
    args = {every_kind()[13], Variant(Bytes{1, 2})};
    root->Invoke(IdOfName(*root, "Reshape"), InvokeKind::Method, args);
    for (const Variant& a : args) {
        ASSERT_EQ(a.Type(), VarType::Array);
        EXPECT_EQ(a.ToArray().LBound(), 1);
        EXPECT_EQ(a.ToArray().at(3).ToString(), "c");
    }
    Collection<Variant> items;
    items.Add(Variant("a"), "first");
    items.Add(Variant("b"), "second");
    auto coll = std::make_shared<CollectionObject>(items);
    ObjectRef remote_coll = CallByName(*root, "Echo", {Variant(ObjectRef(coll))}).ToObject();
    EXPECT_EQ(remote_coll, coll);
    ObjectRef made = CallByName(*root, "Make").ToObject();
    EXPECT_EQ(CallByName(*made, "Read", {Variant(ObjectRef(coll))}).ToString(), "b2");
}

TEST(Remote, ErrorsCrossWholeAndReleasedObjectsGo)
{
    Pair p;
    ObjectRef root = p.client->Root();
    try {
        CallByName(*root, "Fail");
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 1004);
        EXPECT_EQ(e.source, "Tester");
        EXPECT_EQ(e.description, "it failed");
    }
    EXPECT_THROW(CallByName(*root, "NoSuchMember"), VbError);
    {
        ObjectRef a = CallByName(*root, "Make").ToObject();
        ObjectRef b = CallByName(*root, "Echo", {Variant(a)}).ToObject();
        EXPECT_EQ(a, b); // one proxy per handle
        EXPECT_EQ(p.server->Exported(), 2u);
    }
    EXPECT_TRUE(wait_for([&] { return p.server->Exported() == 1; }));
    // The other side's proxy of our object, dropped after the call, lets it go.
    auto mine = std::make_shared<Tester>();
    CallByName(*root, "Through", {Variant(ObjectRef(mine)), Variant(1)});
    EXPECT_TRUE(wait_for([&] { return mine.use_count() == 1; }));
    // A closing connection releases all it exported.
    ObjectRef kept = CallByName(*root, "Make").ToObject();
    p.server->Close();
    EXPECT_EQ(p.server->Exported(), 0u);
}

TEST(Remote, APeerThatGoesGives462AtOnce)
{
    Pair p;
    ObjectRef root = p.client->Root();
    // Gone during the call: the server hangs up while serving.
    p.served->hang_up = [&] { p.server->Close(); };
    try {
        CallByName(*root, "Hang_Up");
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 462);
        EXPECT_EQ(e.description, "The remote server machine does not exist or is unavailable");
    }
    EXPECT_TRUE(p.client->Closed());
    try {
        CallByName(*root, "Echo", {Variant(1)});
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 462);
    }
}

TEST(Remote, APeerThatNeverAnswersIsGoneAtTheDeadlineOfItsScope)
{
    // A peer that takes the connection and then says nothing.
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    auto client = rm::Connection::Adopt(fds[1], &pump());
    ObjectRef root = client->Root();
    {
        rm::Answer_Deadline deadline(200);
        try {
            CallByName(*root, "Echo", {Variant(1)});
            FAIL();
        } catch (const VbError& e) {
            EXPECT_EQ(e.number, 462);
        }
        EXPECT_TRUE(deadline.Expired());
    }
    EXPECT_TRUE(client->Closed());
    ::close(fds[0]);
}

TEST(Remote, ACallWaitsForTheBoxWhileCallsArrivingMeanwhileAreServed)
{
    Pair p;
    ObjectRef root = p.client->Root();
    Variant echoed;
    // While the box waits, the caller's loop runs: its timer calls on the
    // same connection (served), then the person answers.
    p.served->on_ask = [&] {
        QTimer::singleShot(0, [&] {
            // Were the nested call never served, the connection is cut so
            // the test fails rather than hangs.
            QTimer watchdog;
            watchdog.setSingleShot(true);
            QObject::connect(&watchdog, &QTimer::timeout, [&] { p.server->Close(); });
            watchdog.start(300'000);
            try {
                echoed = CallByName(*root, "Echo", {Variant(5)});
            } catch (const VbError&) {
            }
            p.served->answer = "OK";
        });
    };
    EXPECT_EQ(CallByName(*root, "Ask").ToString(), "OK");
    EXPECT_EQ(echoed.ToInt32(), 5);
}

TEST(Remote, TheDecoderIsBounded)
{
    auto no_objects = [](const rm::WireObject&) -> ObjectRef { return nullptr; };
    auto frame = [](std::vector<std::uint8_t> payload) {
        return std::vector<std::uint8_t>(payload.begin(), payload.end());
    };
    // A length above the limit fails at once, without waiting for the bytes.
    rm::FrameReader r;
    const std::uint8_t huge[] = {0x00, 0x00, 0x00, 0x80, 1};
    r.feed(huge);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(r.next(out), rm::FrameReader::Result::Bad);
    // A Return whose array claims more items than the bytes held.
    std::vector<std::uint8_t> claim = {2, 1, 0, 0, 0, 0x0C, 0x20, 1, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0x0f};
    EXPECT_FALSE(rm::Decode(frame(claim), no_objects));
    claim = {2, 1, 0, 0, 0, 8, 0, 0xff, 0xff, 0xff, 0x7f, 'a'}; // a text longer than held
    EXPECT_FALSE(rm::Decode(frame(claim), no_objects));
    // A count past the largest index, even of an empty 2-D array.
    claim = {2, 1, 0, 0, 0, 0x0C, 0x20, 2, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0};
    EXPECT_FALSE(rm::Decode(frame(claim), no_objects));
    // Arrays nested past the limit.
    std::vector<std::uint8_t> deep = {2, 1, 0, 0, 0};
    for (int i = 0; i <= rm::kMaxDepth; ++i)
        deep.insert(deep.end(), {0x0C, 0x20, 1, 0, 0, 0, 0, 1, 0, 0, 0});
    deep.insert(deep.end(), {0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(rm::Decode(frame(deep), no_objects));
    // Every prefix of a good message fails cleanly; the whole one decodes.
    rm::Message m;
    m.kind = rm::Kind::Call;
    m.args = every_kind();
    const auto good = rm::Encode(m, [](const ObjectRef&) { return rm::WireObject{}; });
    const std::span<const std::uint8_t> payload(good.data() + 4, good.size() - 4);
    for (std::size_t n = 0; n < payload.size(); ++n) EXPECT_FALSE(rm::Decode(payload.first(n), no_objects)) << n;
    EXPECT_TRUE(rm::Decode(payload, no_objects));
    // Decoded over the caller's arguments: a bad answer (any prefix, an
    // object of ours we never handed out) leaves them as they were; one with
    // another count of arguments leaves them too and keeps its own.
    rm::Message ret;
    ret.kind = rm::Kind::Return;
    ret.args = every_kind();
    ret.args.push_back(Variant(ObjectRef(std::make_shared<Tester>())));
    auto ours = [](const ObjectRef&) { return rm::WireObject{true, 7}; };
    const auto answer = rm::Encode(ret, ours);
    const std::span<const std::uint8_t> body(answer.data() + 4, answer.size() - 4);
    auto known = [](const rm::WireObject& o) { return !o.receivers || o.handle == 7; };
    auto unknown = [](const rm::WireObject& o) { return !o.receivers; };
    const std::vector<Variant> before(ret.args.size(), Variant(every_kind()[14]));
    std::vector<Variant> into = before;
    for (std::size_t n = 0; n < body.size(); ++n) ASSERT_FALSE(rm::Decode(body.first(n), no_objects, known, &into)) << n;
    EXPECT_FALSE(rm::Decode(body, no_objects, unknown, &into));
    EXPECT_EQ(into, before);
    std::vector<Variant> fewer(2, Variant(1));
    auto other_count = rm::Decode(body, no_objects, known, &fewer);
    ASSERT_TRUE(other_count);
    EXPECT_EQ(fewer, std::vector<Variant>(2, Variant(1)));
    EXPECT_EQ(other_count->args.size(), ret.args.size());
    ASSERT_TRUE(rm::Decode(body, no_objects, known, &into));
    for (std::size_t i = 0; i + 1 < into.size(); ++i) EXPECT_TRUE(into[i] == ret.args[i]) << i;

    // A message that would take more than the bound once decoded: an array
    // of empty items (each two bytes on the wire) refused before it is made,
    // afresh or over the caller's arguments; under the bound it decodes.
    auto empties = [](std::uint32_t count) {
        std::vector<std::uint8_t> p = {2, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x0C, 0x20, 1, 0, 0, 0, 0};
        for (int i = 0; i < 4; ++i) p.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
        p.resize(p.size() + 2 * std::size_t(count), 0);
        return p;
    };
    const auto over = static_cast<std::uint32_t>(rm::kMaxDecoded / sizeof(Variant));
    std::vector<Variant> one(1, Variant(1));
    EXPECT_FALSE(rm::Decode(empties(over), no_objects));
    EXPECT_FALSE(rm::Decode(empties(over), no_objects, known, &one));
    EXPECT_EQ(one[0], Variant(1));
    const auto under = empties(1000);
    ASSERT_TRUE(rm::Decode(under, no_objects));
    EXPECT_FALSE(rm::Decode(under, no_objects, known, &one, 1000 * sizeof(Variant)));
    EXPECT_TRUE(rm::Decode(under, no_objects, known, &one, 2000 * sizeof(Variant)));
    EXPECT_EQ(one[0].ToArray().UBound(), 999);
    // Each object of the sender (seven bytes on the wire) becomes a proxy
    // here: a thousand of them are refused under the bound that takes a
    // thousand empty items, before their proxies are all made.
    auto objects = [&empties](std::uint32_t count) {
        auto p = empties(count);
        p.resize(p.size() - 2 * std::size_t(count));
        for (std::uint32_t h = 2; h < count + 2; ++h)
            p.insert(p.end(), {9, 0, 0, std::uint8_t(h), std::uint8_t(h >> 8), std::uint8_t(h >> 16), 0});
        return p;
    };
    int made = 0;
    auto proxies = [&made](const rm::WireObject&) -> ObjectRef { return ++made, std::make_shared<Tester>(); };
    EXPECT_FALSE(rm::Decode(objects(1000), proxies, known, nullptr, 2000 * sizeof(Variant)));
    EXPECT_LT(made, 1000);
    EXPECT_TRUE(rm::Decode(objects(1000), proxies, known, nullptr, 1000 * 1024));

    // A bad message closes that connection only.
    Pair bad, other;
    int raw[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, raw), 0);
    auto victim = rm::Connection::Adopt(raw[0], &pump(), std::make_shared<Tester>());
    ASSERT_EQ(::write(raw[1], huge, sizeof huge), static_cast<ssize_t>(sizeof huge));
    EXPECT_TRUE(wait_for([&] { return victim->Closed(); }));
    ::close(raw[1]);
    EXPECT_EQ(CallByName(*other.client->Root(), "Echo", {Variant(5)}).ToInt32(), 5);
}

TEST(Remote, CallBacksThatCallAgainNestAtMostTheBoundDeep)
{
    Pair p;
    ObjectRef root = p.client->Root();
    // Each call-back answered with another call through the server.
    auto bouncer = std::make_shared<Bouncer>(root);
    bouncer->self = bouncer;
    try {
        CallByName(*root, "Through", {Variant(ObjectRef(bouncer)), Variant(1)});
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 28);
        EXPECT_EQ(e.description, "Out of stack space");
    }
    // Both ends serve in this process, each its peer's calls up to the bound.
    EXPECT_EQ(bouncer->calls, rm::kMaxNesting);
    EXPECT_FALSE(p.server->Closed());
    EXPECT_EQ(CallByName(*root, "Echo", {Variant(5)}).ToInt32(), 5);
}

TEST(Remote, NestedCallsTakeLessEachLevel)
{
    Pair p;
    ObjectRef root = p.client->Root();
    // Call-backs bounced sixteen levels deep, the last one answered with a
    // text each level above could hold: refused there, taken at the top.
    auto bouncer = std::make_shared<Bouncer>(root);
    bouncer->self = bouncer, bouncer->left = 16;
    EXPECT_THROW(CallByName(*root, "Through", {Variant(ObjectRef(bouncer)), Variant(1)}), VbError);
    Pair q;
    auto once = std::make_shared<Bouncer>(q.client->Root());
    once->self = once, once->left = 0;
    EXPECT_EQ(CallByName(*q.client->Root(), "Through", {Variant(ObjectRef(once)), Variant(1)}).ToString().size(),
              64u << 10);
}

TEST(Remote, APeerThatDoesNotReadItsAnswersIsHeldAndHoldsNoOneElse)
{
    int raw[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, raw), 0);
    auto host = rm::Connection::Adopt(raw[0], &pump(), std::make_shared<Tester>());
    rm::Message call;
    call.kind = rm::Kind::Call;
    call.handle = rm::kRootHandle;
    call.dispid = 1; // Echo
    call.args = {Variant(std::string(1000, 'x'))};
    auto none = [](const ObjectRef&) { return rm::WireObject{}; };
    // Small calls written as fast as the host takes them, none of their
    // answers read: the host stops reading once the answers are not taken.
    std::uint32_t calls = 0;
    std::vector<std::uint8_t> frame;
    std::size_t at = 0, written = 0;
    auto writable = [&] {
        pollfd w{raw[1], POLLOUT, 0};
        return ::poll(&w, 1, 0) == 1;
    };
    for (;;) {
        if (at == frame.size()) {
            call.call = ++calls;
            frame = rm::Encode(call, none);
            at = 0;
        }
        const ssize_t n = ::send(raw[1], frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
            written += static_cast<std::size_t>(n);
            continue;
        }
        ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
        // Held for good when the host's loop has nothing more to do for a
        // while and the socket stays full.
        if (!pump().wait_until(writable, pump().clock().now_us() + 2'000'000)) break;
        ASSERT_LT(written, std::size_t(256) << 20) << "the host reads on without bound";
    }
    EXPECT_FALSE(host->Closed());
    // Another client is served meanwhile.
    Pair other;
    EXPECT_EQ(CallByName(*other.client->Root(), "Echo", {Variant(5)}).ToInt32(), 5);
    // Read at last, every call is answered in turn.
    rm::FrameReader answers;
    std::vector<std::uint8_t> payload;
    std::uint32_t answered = 0;
    const std::uint32_t whole = at == frame.size() ? calls : calls - 1;
    auto more = [&] {
        std::uint8_t buf[65536];
        ssize_t n;
        while ((n = ::recv(raw[1], buf, sizeof buf, 0)) > 0)
            answers.feed(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)));
        while (answers.next(payload) == rm::FrameReader::Result::Frame) {
            auto m = rm::Decode(payload, [](const rm::WireObject&) -> ObjectRef { return nullptr; });
            if (m && m->kind == rm::Kind::Return && m->call == answered + 1) ++answered;
        }
        if (at < frame.size() && answered + 1 == calls) {
            // The last call's rest, now the host reads again.
            const ssize_t w = ::send(raw[1], frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
            if (w > 0) at += static_cast<std::size_t>(w);
        }
        return answered >= whole && at == frame.size() ? answered == calls : false;
    };
    EXPECT_TRUE(wait_for(more)) << answered << " of " << calls;
    ::close(raw[1]);
}

TEST(Remote, AServerBoundsItsConnectionsAndWhatTheyHoldTogether)
{
    std::string dir = ::testing::TempDir() + "remote_test.XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string path = dir + "/host";
    auto server = std::make_unique<rm::Server>(pump(), path, std::make_shared<Tester>());
    auto closed = [](int fd) {
        char c;
        const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    };
    // One client past the cap is let in and closed at once.
    std::vector<int> clients;
    for (std::size_t i = 0; i <= rm::kMaxConnections; ++i) {
        clients.push_back(Connect_Local(path));
        ASSERT_GE(clients.back(), 0);
        wait_for([&] { return server->connections() == std::min(clients.size(), rm::kMaxConnections); });
    }
    EXPECT_TRUE(wait_for([&] { return closed(clients.back()); }));
    EXPECT_EQ(server->connections(), rm::kMaxConnections);
    EXPECT_FALSE(closed(clients.front()));

    // A frame of the largest length sent all but its last byte, then another
    // frame begun: the first fits alone, the second would pass what all may
    // hold together and its connection is closed.
    auto send_part = [&](int fd, std::size_t body) {
        std::vector<std::uint8_t> chunk(1u << 20);
        const std::uint32_t length = rm::kMaxFrame;
        std::memcpy(chunk.data(), &length, 4);
        std::size_t at = 0;
        wait_for([&] {
            while (at < 4 + body) {
                const std::size_t from = std::min<std::size_t>(at, 4);
                const ssize_t n = ::send(fd, chunk.data() + from, std::min(chunk.size() - from, 4 + body - at),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) at += static_cast<std::size_t>(n);
                else return errno != EAGAIN;
            }
            // Until the server has read it all.
            int unread = 0;
            return ::ioctl(fd, SIOCOUTQ, &unread) != 0 || unread == 0;
        });
        return at == 4 + body;
    };
    EXPECT_TRUE(send_part(clients[0], rm::kMaxFrame - 1));
    send_part(clients[1], 2u << 20);
    EXPECT_TRUE(wait_for([&] { return closed(clients[1]); }));
    EXPECT_FALSE(closed(clients[0]));
    for (std::size_t i = 1; i < clients.size(); ++i) ::close(clients[i]);
    // Meanwhile a client with small calls is served.
    auto fresh = rm::Connection::Connect(path, &pump());
    EXPECT_EQ(CallByName(*fresh->Root(), "Echo", {Variant(5)}).ToInt32(), 5);
    fresh->Close();
    ::close(clients[0]);
    server.reset();
    ::rmdir(dir.c_str());
}
