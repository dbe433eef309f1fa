// DDE conversations between our programs and their peers. A conversation is
// a connection to the local socket named by service and topic, lower-cased
// and joined by "|" ("arcview|system"), in a per-user folder (mode 0700):
// $TREKFOLD_DDE_DIR, else $XDG_RUNTIME_DIR/trekfold-dde, else
// trekfold-<uid>/dde in the system's temporary folder. Peers of another user
// are refused both ways.
//
// Each message is one line of JSON (UTF-8, at most 1 MiB):
//   {"op":"execute","data":S}  {"op":"poke","item":I,"data":S}
//   {"op":"request","item":I}
// answered by {"ok":true} (a request's answer adds "data") or {"ok":false}.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class EventPump;

namespace dde {

// The errors a conversation raises (as VbError, with VB's texts).
constexpr int kNoAnswerToInitiate = 282; // "No foreign application responded to a DDE initiate"
constexpr int kRefused = 285;            // "Foreign application won't perform DDE method or operation"
constexpr int kTimeout = 286;            // "Timeout occurred while waiting for DDE response"
constexpr std::size_t kMaxLine = 1u << 20;
constexpr int kAnswerTimeoutMs = 5000;
// A served topic holds at most this many connections (one more is closed
// as soon as it is accepted) and this many bytes of unfinished lines over
// all of them (the client whose bytes would pass it is closed). Out of
// descriptors, a topic stops accepting for a while (platform/listener).
constexpr std::size_t kMaxConnections = 32;
constexpr std::size_t kMaxBuffered = 8u << 20;

// The socket folder, made (0700) when missing; throws VbError 282 when it
// cannot be made or is not ours alone.
std::string Dde_Folder();
// The socket of a service and topic inside Dde_Folder().
std::string Socket_Path(std::string_view service, std::string_view topic);

// One message as the wire carries it.
struct Message {
    std::string op; // "execute", "poke", "request"
    std::string item;
    std::string data;
};
std::string Encode(const Message& m);
// nullopt for a line that is no such message.
std::optional<Message> Decode(std::string_view line);
// An answer line: ok, and for a request its data.
std::string Encode_Answer(bool ok, const std::optional<std::string>& data = std::nullopt);
struct Answer {
    bool ok = false;
    std::optional<std::string> data;
};
std::optional<Answer> Decode_Answer(std::string_view line);

// Cuts a byte stream into lines. A line longer than kMaxLine makes the
// reader fail for good (its connection is closed).
class LineReader {
public:
    enum class Result { Line, More, TooLong };
    void feed(std::string_view bytes) { buffer_.append(bytes); }
    Result next(std::string& line);
    // Bytes held that are not yet a whole line.
    std::size_t buffered() const { return buffer_.size(); }

private:
    std::string buffer_;
    std::size_t scanned_ = 0;
    bool failed_ = false;
};

// The client end: a conversation with a served topic.
class Conversation {
public:
    // Connects; VbError 282 when nobody serves the topic or its server is
    // another user's.
    static std::unique_ptr<Conversation> Initiate(std::string_view service, std::string_view topic);
    ~Conversation();
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    // Each waits at most kAnswerTimeoutMs for the answer: 286 then, 285 on
    // {"ok":false} or a closed connection.
    void Execute(const std::string& command);
    void Poke(const std::string& item, const std::string& data);
    std::string Request(const std::string& item);

private:
    explicit Conversation(int fd) : fd_(fd) {}
    Answer round_trip(const Message& m);
    int fd_;
    LineReader reader_;
};

// The server end: listens on a topic's socket while it lives. Executes and
// requests are answered with what the handler returns; a poke is answered
// at once and its handler runs on the loop's next turn, in arrival order.
class Topic {
public:
    struct Handlers {
        std::function<bool(const std::string& command)> execute;
        std::function<void(const std::string& item, const std::string& data)> poke;
        std::function<std::optional<std::string>(const std::string& item)> request;
    };
    // Replaces a dead socket file; VbError 285 when a live server holds
    // the topic. Needs a QCoreApplication.
    Topic(EventPump& pump, std::string_view service, std::string_view topic, Handlers handlers);
    ~Topic();
    Topic(const Topic&) = delete;
    Topic& operator=(const Topic&) = delete;
    const std::string& path() const;
    // Connections open now, the bytes they hold, and whether new ones are
    // taken (not while the process is out of descriptors) (tests).
    std::size_t connections() const;
    std::size_t buffered() const;
    bool accepting() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace dde
} // namespace platform
