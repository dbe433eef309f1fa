// Remote automation objects: late-bound calls on objects that live in
// another process, over a connected local stream socket.
//
// Each side of a connection exports objects by handle (handle 1 is the
// server's root object, always present) and holds proxies for the handles
// of the other side. A proxy is a Dispatch: its calls travel to the object,
// by-reference arguments come back changed, a VbError comes back whole.
// While a call waits for its answer the caller's event loop runs and calls
// that arrive meanwhile (nested, in either direction) are served. When the
// peer is gone, or goes during a call, the call raises 462 at once.
//
// Wire format. Every message is a frame: a 32-bit little-endian length N
// (1 <= N <= kMaxFrame) followed by N bytes of payload. A payload is one
// message type byte and its fields, all integers little-endian:
//
//   1 Call     u32 call, u32 handle, i32 dispid, u8 kind (1 method,
//              2 property get, 4 property put, 8 put by reference),
//              u32 argc, VALUE x argc
//   2 Return   u32 call, VALUE result, u32 argc, VALUE x argc (the
//              arguments after the call, as the callee left them)
//   3 Error    u32 call, i32 number, TEXT source, TEXT description
//   4 Names    u32 call, u32 handle, TEXT name; answered by a Return whose
//              result is the dispatch id as a Long (no arguments) or an
//              Error (438 when the object has no such member)
//   5 Release  u32 handle, u32 count: the sender drops `count` of the
//              references it received to the receiver's object `handle`
//
//   TEXT  u32 length, that many bytes (UTF-8)
//   VALUE u16 type (the VarType code), then by type:
//         Empty 0, Null 1, Missing 10: nothing
//         Integer 2: i16   Long 3: i32   Single 4: f32   Double 5: f64
//         Date 7: f64 (days)   String 8: TEXT   Boolean 11: u8 (0 or 1)
//         Byte 17: u8
//         Object 9: u8 owner, u32 handle. Owner 0: an object of the
//               sender (handle 0 is Nothing); owner 1: an object of the
//               receiver that it handed out before, coming back
//         ByteArray 0x2011: i32 lower bound, u32 count, count bytes
//         Array 0x200C: u8 dimensions (1 or 2), per dimension i32 lower
//               bound and u32 count, then the items (last index fastest)
//
// Every time a side sends one of its objects (owner 0) the receiver holds
// one more reference; a proxy, when it is destroyed, releases all it holds.
// The exporter keeps the object while references are out. A connection
// that closes releases all objects of both sides.
//
// A frame longer than kMaxFrame, a count beyond the bytes held, arrays
// nested deeper than kMaxDepth, a message that would take more than
// kMaxDecoded bytes once decoded (values, array items, texts, a proxy for
// each object of the sender), an unknown type or bytes left over make the
// message bad: the connection that sent it is closed, nothing else.
//
// A peer cannot hold this side. Writes never block: each connection queues
// what the socket does not take at once and writes it as the socket takes
// it; a peer whose queue grows past kMaxQueued (beyond the one frame being
// written) is dropped. While its answers are not yet taken, a peer's calls
// are not read (it waits in its own send). A peer's calls served inside
// other calls (a member calling back a peer that calls again) nest at most
// kMaxNesting deep (and all peers' together eight times that): one past
// that is answered with error 28 "Out of stack space" and nothing else
// changes. What each level holds is bounded too: a message that arrives
// while N calls of its peer are being served may take kMaxDecoded >> N
// (N up to 16) once decoded.
//
// A server holds at most kMaxConnections connections (one more is accepted
// and closed at once), and all of them together at most kMaxHeld bytes of
// what their peers sent that is not handled yet (frames under way, frames
// read ahead): the connection whose bytes would pass that is closed. One
// frame of kMaxFrame fits while the others hold little.
#pragma once

#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

class EventPump;
class Held_Bytes;

namespace remote {

constexpr std::uint32_t kMaxFrame = 256u << 20;
constexpr std::uint64_t kMaxDecoded = 256u << 20;
constexpr std::size_t kMaxQueued = 16u << 20;
constexpr int kMaxDepth = 16;
constexpr int kMaxNesting = 64;
constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kMaxHeld = std::size_t(kMaxFrame) + (1u << 20);
constexpr std::uint32_t kRootHandle = 1;
constexpr int kServerGone = 462;

// The error a call on a peer that is gone raises.
VbError Server_Gone();

// While one lives, each call this thread makes on a peer waits at most `ms`
// for its answer (nested scopes: the innermost holds). A peer that has not
// answered by then is taken as gone: its connection is closed and the call
// raises Server_Gone. Outside any scope a call waits as long as the peer
// lives, as a call held by a box waiting for its person must.
class Answer_Deadline {
public:
    explicit Answer_Deadline(int ms);
    ~Answer_Deadline();
    Answer_Deadline(const Answer_Deadline&) = delete;
    Answer_Deadline& operator=(const Answer_Deadline&) = delete;
    // Whether a call in this scope gave up on its peer.
    bool Expired() const { return expired_; }

private:
    friend struct Connection_Access;
    int ms_;
    Answer_Deadline* previous_;
    bool expired_ = false;
};

enum class Kind : std::uint8_t { Call = 1, Return = 2, Error = 3, Names = 4, Release = 5 };

// An object reference as the wire carries it.
struct WireObject {
    bool receivers = false; // owner 1: the receiver's own object
    std::uint32_t handle = 0;
};

struct Message {
    Kind kind = Kind::Call;
    std::uint32_t call = 0;
    std::uint32_t handle = 0;
    std::int32_t dispid = 0; // Call; Release: the count
    std::uint8_t invoke = 1;
    std::vector<Variant> args;
    Variant result;
    std::int32_t number = 0;
    std::string source, text; // Error's source and description; Names' name
};

// Objects in and out of values: the encoder asks how to send an object,
// the decoder what an incoming object reference becomes.
using ObjectOut = std::function<WireObject(const ObjectRef&)>;
using ObjectIn = std::function<ObjectRef(const WireObject&)>;
// Whether the decoder would take an incoming object reference (asked
// without taking it).
using ObjectKnown = std::function<bool(const WireObject&)>;

// One message as a whole frame (length included). Throws VbError 6
// "Overflow" when it would exceed kMaxFrame.
std::vector<std::uint8_t> Encode(const Message& m, const ObjectOut& out);
// One payload (without its length). nullopt when the payload is bad.
std::optional<Message> Decode(std::span<const std::uint8_t> payload, const ObjectIn& in);
// The same, except that a Return bringing as many arguments as `into` holds
// has them decoded over `into` (the caller's by-reference arguments): an
// array that comes back with the bounds it went with keeps its storage, so
// a table of pairs is not built again. The payload is checked whole first,
// `known` answering for its object references: `into` changes only when
// the payload is good. The message's args then stay empty. `limit` bounds
// what the message takes decoded: each argument a Variant, each array its
// items' Variants, texts and byte arrays their bytes, each object of the
// sender the proxy it becomes.
std::optional<Message> Decode(std::span<const std::uint8_t> payload, const ObjectIn& in, const ObjectKnown& known,
                              std::vector<Variant>* into, std::uint64_t limit = kMaxDecoded);

// Cuts a byte stream into payloads. A length of 0 or above kMaxFrame makes
// the reader fail for good; what it holds grows with what arrived (by
// doubling, to the end of the frame under way), never by what a length
// merely claims.
class FrameReader {
public:
    enum class Result { Frame, More, Bad };
    void feed(std::span<const std::uint8_t> bytes);
    Result next(std::vector<std::uint8_t>& payload);
    std::size_t held() const { return buffer_.size() - start_; }
    // The first whole frame's payload, seen where it lies (valid until the
    // next feed or pop); More while none is whole. pop() drops it.
    Result front(std::span<const std::uint8_t>& payload);
    void pop();

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    bool failed_ = false;
};

// One end of a connection. Made over a connected socket, which it owns.
// With a pump, incoming calls are served on the loop while no call waits,
// and a waiting call runs the loop; without one a waiting call blocks in
// poll on the socket (serving what arrives) and nothing is served between
// calls.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    // `root` is exported as handle 1 (a server's application); may be null.
    // What the peer sent and is not handled yet counts toward `held` (a
    // server's connections together) when given: the connection is closed
    // when its bytes would pass that bound.
    static std::shared_ptr<Connection> Adopt(int fd, EventPump* pump, ObjectRef root = nullptr,
                                             std::shared_ptr<Held_Bytes> held = nullptr);
    // Connects to a listening socket; throws 462 when nobody listens there
    // or the listener is another user's.
    static std::shared_ptr<Connection> Connect(const std::string& path, EventPump* pump);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The peer's root object as a proxy.
    ObjectRef Root();
    bool Closed() const { return closed_; }
    // Closes the socket and releases every object (idempotent).
    void Close();
    // Objects of this side the peer holds references to (tests).
    std::size_t Exported() const;
    // Called once when the connection closes (peer gone or a bad message).
    std::function<void()> on_closed;

    // What proxies use.
    std::optional<DispId> Names(std::uint32_t handle, std::string_view name);
    Variant Call(std::uint32_t handle, DispId id, InvokeKind kind, std::vector<Variant>& args);
    // The proxy of `handle` is gone: every reference it held is released.
    void Release(std::uint32_t handle);

private:
    struct Impl;
    Connection(int fd, EventPump* pump);
    std::unique_ptr<Impl> impl_;
    bool closed_ = false;
    friend struct Impl;
};

// Listens on a socket path (replacing a dead socket file left there) and
// serves `root` to every connection of the same user, at most
// kMaxConnections at once and kMaxHeld bytes held among them. Needs a pump
// (and so a QCoreApplication). Out of descriptors, listening pauses until a
// connection closes (or a quarter second). The socket file is removed when
// the server goes.
class Server {
public:
    // Throws VbError 70 "Permission denied" when the path is held by a
    // live server or cannot be bound.
    Server(EventPump& pump, std::string path, ObjectRef root);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    const std::string& path() const;
    std::size_t connections() const;
    // Called after a connection has closed and released what it held.
    std::function<void()> on_closed;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace remote
} // namespace platform
