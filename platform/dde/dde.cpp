#include "platform/dde/dde.h"

#include "platform/settings/user_folder.h"

#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/listener/listener.h"

#include <QObject>
#include <QSocketNotifier>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/socket.h>
#include <poll.h>
#include <unistd.h>

namespace platform::dde {

namespace {

using json = nlohmann::json;

VbError no_answer() { return VbError(kNoAnswerToInitiate, "", "No foreign application responded to a DDE initiate"); }
VbError refused() { return VbError(kRefused, "", "Foreign application won't perform DDE method or operation"); }
VbError timed_out() { return VbError(kTimeout, "", "Timeout occurred while waiting for DDE response"); }

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

using Deadline = std::chrono::steady_clock::time_point;

// Writes all of `bytes` without blocking past the deadline (a server's
// answers have none: they go out at once or the client is dropped). False
// when the peer is gone, or does not take them in time.
bool send_all(int fd, std::string_view bytes, std::optional<Deadline> deadline = std::nullopt)
{
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR) return false;
            continue;
        }
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

std::string Dde_Folder()
{
    std::string path = Private_User_Folder("TREKFOLD_DDE_DIR", "dde");
    if (path.empty()) throw no_answer();
    return path;
}

std::string Socket_Path(std::string_view service, std::string_view topic)
{
    return Dde_Folder() + "/" + lower(service) + "|" + lower(topic);
}

std::string Encode(const Message& m)
{
    json j;
    j["op"] = m.op;
    if (m.op != "execute") j["item"] = m.item;
    if (m.op != "request") j["data"] = m.data;
    return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<Message> Decode(std::string_view line)
{
    json j = json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    auto text = [&](const char* key, std::string& out) {
        auto it = j.find(key);
        if (it == j.end() || !it->is_string()) return false;
        out = it->get<std::string>();
        return true;
    };
    Message m;
    if (!text("op", m.op)) return std::nullopt;
    if (m.op == "execute") {
        if (!text("data", m.data)) return std::nullopt;
    } else if (m.op == "poke") {
        if (!text("item", m.item) || !text("data", m.data)) return std::nullopt;
    } else if (m.op == "request") {
        if (!text("item", m.item)) return std::nullopt;
    } else {
        return std::nullopt;
    }
    return m;
}

std::string Encode_Answer(bool ok, const std::optional<std::string>& data)
{
    json j;
    j["ok"] = ok;
    if (ok && data) j["data"] = *data;
    return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<Answer> Decode_Answer(std::string_view line)
{
    json j = json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    auto ok = j.find("ok");
    if (ok == j.end() || !ok->is_boolean()) return std::nullopt;
    Answer a;
    a.ok = ok->get<bool>();
    if (auto d = j.find("data"); d != j.end()) {
        if (!d->is_string()) return std::nullopt;
        a.data = d->get<std::string>();
    }
    return a;
}

LineReader::Result LineReader::next(std::string& line)
{
    if (failed_) return Result::TooLong;
    std::size_t nl = buffer_.find('\n', scanned_);
    if (nl == std::string::npos) {
        scanned_ = buffer_.size();
        if (buffer_.size() > kMaxLine) {
            failed_ = true;
            buffer_.clear();
            buffer_.shrink_to_fit();
            return Result::TooLong;
        }
        return Result::More;
    }
    if (nl > kMaxLine) {
        failed_ = true;
        buffer_.clear();
        return Result::TooLong;
    }
    line.assign(buffer_, 0, nl);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    buffer_.erase(0, nl + 1);
    scanned_ = 0;
    // A long line's room is given back once it is read.
    if (buffer_.capacity() > 65536 && buffer_.size() < buffer_.capacity() / 4) buffer_.shrink_to_fit();
    return Result::Line;
}

// --- client -----------------------------------------------------------------

std::unique_ptr<Conversation> Conversation::Initiate(std::string_view service, std::string_view topic)
{
    const std::string path = Socket_Path(service, topic);
    const int fd = platform::Connect_Local(path);
    if (fd < 0) throw no_answer();
    return std::unique_ptr<Conversation>(new Conversation(fd));
}

Conversation::~Conversation() { ::close(fd_); }

Answer Conversation::round_trip(const Message& m)
{
    // The message and its answer share one time-out: a peer that takes
    // neither holds us no longer than one that never answers.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    if (!send_all(fd_, Encode(m), deadline)) {
        if (std::chrono::steady_clock::now() >= deadline) throw timed_out();
        throw refused();
    }
    std::string line;
    char buf[4096];
    for (;;) {
        switch (reader_.next(line)) {
        case LineReader::Result::Line:
            if (auto a = Decode_Answer(line)) {
                if (!a->ok) throw refused();
                return *a;
            }
            throw refused();
        case LineReader::Result::TooLong: throw refused();
        case LineReader::Result::More: break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw timed_out();
        pollfd p{fd_, POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) throw timed_out();
        if (n < 0) throw refused();
        ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw refused();
        reader_.feed(std::string_view(buf, static_cast<std::size_t>(got)));
    }
}

void Conversation::Execute(const std::string& command) { round_trip({"execute", "", command}); }

void Conversation::Poke(const std::string& item, const std::string& data) { round_trip({"poke", item, data}); }

std::string Conversation::Request(const std::string& item) { return round_trip({"request", item, ""}).data.value_or(""); }

// --- server -----------------------------------------------------------------

struct Topic::Impl {
    EventPump& pump;
    Handlers handlers;
    std::unique_ptr<Local_Listener> listener;
    struct Connection {
        LineReader reader;
        QSocketNotifier* notifier = nullptr;
        Held_Bytes::Share held;
    };
    std::map<int, Connection> connections;
    // Bytes held in all connections' unfinished lines.
    std::shared_ptr<Held_Bytes> buffered = std::make_shared<Held_Bytes>(kMaxBuffered);
    // Cleared when the topic closes, so posted pokes that outlive it do nothing.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    Impl(EventPump& p, Handlers h) : pump(p), handlers(std::move(h)) {}

    void take(int fd)
    {
        auto* n = new QSocketNotifier(fd, QSocketNotifier::Read);
        Connection& c = connections.try_emplace(fd, Connection{{}, n, Held_Bytes::Share(buffered)}).first->second;
        QObject::connect(c.notifier, &QSocketNotifier::activated, c.notifier, [this, fd] { readable(fd); });
    }

    void drop(int fd)
    {
        auto it = connections.find(fd);
        if (it == connections.end()) return;
        it->second.notifier->setEnabled(false);
        it->second.notifier->deleteLater();
        ::close(fd);
        connections.erase(it);
        listener->resume();
    }

    void readable(int fd)
    {
        char buf[65536];
        ssize_t got = ::recv(fd, buf, sizeof buf, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (got <= 0) return drop(fd);
        auto it = connections.find(fd);
        if (it == connections.end()) return;
        // A client whose bytes would take the topic past its bound for all
        // connections together is dropped, so a crowd of half lines cannot
        // fill our memory.
        if (!it->second.held.fits(static_cast<std::size_t>(got))) return drop(fd);
        it->second.reader.feed(std::string_view(buf, static_cast<std::size_t>(got)));
        it->second.held.set(it->second.reader.buffered());
        std::string line;
        for (;;) {
            auto c = connections.find(fd);
            if (c == connections.end()) return;
            LineReader::Result r = c->second.reader.next(line);
            c->second.held.set(c->second.reader.buffered());
            if (r == LineReader::Result::More) return;
            if (r == LineReader::Result::TooLong) return drop(fd);
            if (!send_all(fd, answer(line))) return drop(fd);
        }
    }

    std::string answer(const std::string& line)
    {
        std::optional<Message> m = Decode(line);
        if (!m) return Encode_Answer(false);
        if (m->op == "execute") {
            bool ok = handlers.execute && handlers.execute(m->data);
            return Encode_Answer(ok);
        }
        if (m->op == "poke") {
            if (!handlers.poke) return Encode_Answer(false);
            std::weak_ptr<bool> still(alive);
            pump.post([this, still, item = m->item, data = m->data] {
                if (still.lock()) handlers.poke(item, data);
            });
            return Encode_Answer(true);
        }
        if (!handlers.request) return Encode_Answer(false);
        std::optional<std::string> d = handlers.request(m->item);
        return Encode_Answer(d.has_value(), d);
    }
};

Topic::Topic(EventPump& pump, std::string_view service, std::string_view topic, Handlers handlers)
    : impl_(std::make_unique<Impl>(pump, std::move(handlers)))
{
    Impl* i = impl_.get();
    // A live server at the path means the topic is taken.
    i->listener = std::make_unique<Local_Listener>(
        pump, Socket_Path(service, topic), kMaxConnections, [i] { return i->connections.size(); },
        [i](int fd) { i->take(fd); });
    if (!i->listener->listening()) throw refused();
}

Topic::~Topic()
{
    *impl_->alive = false;
    while (!impl_->connections.empty()) impl_->drop(impl_->connections.begin()->first);
    impl_->listener.reset();
}

const std::string& Topic::path() const { return impl_->listener->path(); }

std::size_t Topic::connections() const { return impl_->connections.size(); }

std::size_t Topic::buffered() const { return impl_->buffered->held(); }

bool Topic::accepting() const { return impl_->listener->accepting(); }

} // namespace platform::dde
