#include "platform/automation/remote.h"

#include "platform/events/events.h"
#include "platform/listener/listener.h"
#include "platform/settings/user_folder.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <algorithm>
#include <deque>
#include <map>
#include <stdexcept>
#include <sys/socket.h>
#include <poll.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform::remote {

VbError Server_Gone()
{
    return VbError(kServerGone, "", "The remote server machine does not exist or is unavailable");
}

namespace {
// The innermost answer deadline of this thread's calls (null: none).
thread_local Answer_Deadline* answer_deadline = nullptr;
} // namespace

Answer_Deadline::Answer_Deadline(int ms) : ms_(ms), previous_(answer_deadline) { answer_deadline = this; }
Answer_Deadline::~Answer_Deadline() { answer_deadline = previous_; }

struct Connection_Access {
    static int ms(const Answer_Deadline* d) { return d ? d->ms_ : 0; }
    static void expire(Answer_Deadline* d)
    {
        if (d) d->expired_ = true;
    }
};

namespace {

// --- encoding -------------------------------------------------------------------

// Writes a frame into one buffer that grows by doubling: a large argument
// (a table of pairs) is walked once, and the buffer never holds more than
// twice the frame. The buffer may be one kept from an earlier frame.
class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& into) : bytes_(into)
    {
        if (bytes_.size() < 256) bytes_.resize(256);
    }
    void u8(std::uint8_t v) { *room(1) = v; }
    void u16(std::uint16_t v) { raw(&v, 2); }
    void u32(std::uint32_t v) { raw(&v, 4); }
    void i32(std::int32_t v) { raw(&v, 4); }
    void f32(float v) { raw(&v, 4); }
    void f64(double v) { raw(&v, 8); }
    void text(const std::string& s)
    {
        u32(static_cast<std::uint32_t>(s.size()));
        raw(s.data(), s.size());
    }
    // Little-endian hosts only (the platforms we build for).
    void raw(const void* p, std::size_t n)
    {
        if (n) std::memcpy(room(n), p, n);
    }
    // The whole frame, its length in front. Throws 6 "Overflow" (as soon
    // as that is known) when the payload exceeds kMaxFrame.
    void finish()
    {
        const auto len = static_cast<std::uint32_t>(used_ - 4);
        std::memcpy(bytes_.data(), &len, 4);
        bytes_.resize(used_);
    }

private:
    std::uint8_t* room(std::size_t n)
    {
        if (used_ + n > bytes_.size()) [[unlikely]]
            grow(n);
        std::uint8_t* p = bytes_.data() + used_;
        used_ += n;
        return p;
    }
    [[gnu::noinline]] void grow(std::size_t n)
    {
        if (used_ + n - 4 > kMaxFrame) throw VbError(6, "", "Overflow");
        bytes_.resize(std::max(bytes_.size() * 2, used_ + n));
    }
    std::vector<std::uint8_t>& bytes_;
    std::size_t used_ = 4;
};

void put_value(Writer& w, const Variant& v, const ObjectOut& out)
{
    const VarType t = v.Type();
    w.u16(static_cast<std::uint16_t>(t));
    switch (t) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Error: return;
    case VarType::Integer: return w.u16(static_cast<std::uint16_t>(v.ToInt16()));
    case VarType::Long: return w.i32(v.ToInt32());
    case VarType::Single: return w.f32(v.ToSingle());
    case VarType::Double: return w.f64(*v.DoublePtr());
    case VarType::Date: return w.f64(v.ToDouble());
    case VarType::String: return w.text(*v.StringPtr());
    case VarType::Boolean: return w.u8(v.ToBool() ? 1 : 0);
    case VarType::Byte: return w.u8(v.ToByte());
    case VarType::Object: {
        const WireObject o = out(v.ToObject());
        w.u8(o.receivers ? 1 : 0);
        return w.u32(o.handle);
    }
    case VarType::ByteArray: {
        const Bytes& b = *v.BytesPtr();
        w.i32(v.BytesLBound());
        w.u32(static_cast<std::uint32_t>(b.size()));
        return w.raw(b.data(), b.size());
    }
    case VarType::Array: {
        const VariantArray& a = v.ToArray();
        const int dims = a.Dimensions();
        w.u8(static_cast<std::uint8_t>(dims));
        for (int d = 1; d <= dims; ++d) {
            w.i32(a.LBound(d));
            w.u32(static_cast<std::uint32_t>(static_cast<std::int64_t>(a.UBound(d)) - a.LBound(d) + 1));
        }
        for (const Variant& item : a.items()) put_value(w, item, out);
        return;
    }
    }
}

void put_message(Writer& w, const Message& m, const ObjectOut& out)
{
    w.u8(static_cast<std::uint8_t>(m.kind));
    switch (m.kind) {
    case Kind::Call:
        w.u32(m.call);
        w.u32(m.handle);
        w.i32(m.dispid);
        w.u8(m.invoke);
        w.u32(static_cast<std::uint32_t>(m.args.size()));
        for (const Variant& a : m.args) put_value(w, a, out);
        break;
    case Kind::Return:
        w.u32(m.call);
        put_value(w, m.result, out);
        w.u32(static_cast<std::uint32_t>(m.args.size()));
        for (const Variant& a : m.args) put_value(w, a, out);
        break;
    case Kind::Error:
        w.u32(m.call);
        w.i32(m.number);
        w.text(m.source);
        w.text(m.text);
        break;
    case Kind::Names:
        w.u32(m.call);
        w.u32(m.handle);
        w.text(m.text);
        break;
    case Kind::Release:
        w.u32(m.handle);
        w.u32(static_cast<std::uint32_t>(m.dispid));
        break;
    }
}

struct Bad : std::runtime_error {
    Bad() : std::runtime_error("bad message") {}
};

class Reader {
public:
    Reader(std::span<const std::uint8_t> data, std::uint64_t budget) : data_(data), budget_(budget) {}
    std::size_t left() const { return data_.size() - pos_; }
    void need(std::uint64_t n) const
    {
        if (n > left()) throw Bad();
    }
    // Counts bytes the decoded message will take (before they are taken):
    // a message of small items decodes to many times its wire size, so the
    // whole is bounded on its own.
    void charge(std::uint64_t n)
    {
        if (n > budget_) throw Bad();
        budget_ -= n;
    }
    template <class T>
    T get()
    {
        need(sizeof(T));
        T v;
        std::memcpy(&v, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }
    std::string text()
    {
        const auto n = get<std::uint32_t>();
        need(n);
        charge(n);
        std::string s(reinterpret_cast<const char*>(data_.data() + pos_), n);
        pos_ += n;
        return s;
    }
    void skip(std::uint64_t n)
    {
        need(n);
        pos_ += static_cast<std::size_t>(n);
    }
    std::size_t pos() const { return pos_; }
    void seek(std::size_t at) { pos_ = at; }
    Bytes bytes(std::uint32_t n)
    {
        need(n);
        charge(n);
        Bytes b(data_.begin() + static_cast<std::ptrdiff_t>(pos_), data_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return b;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::uint64_t budget_;
};

constexpr std::size_t kMinValue = 2; // a type code alone
// An object of the sender is seven bytes on the wire but becomes a proxy
// with its entry among the imports here: counted as what those take.
constexpr std::uint64_t kObjectCost = 256;

// An array's dimensions and bounds as the wire gives them, checked.
struct Shape {
    int dims = 0;
    std::int32_t lb[2] = {0, 0};
    std::uint32_t count[2] = {1, 1};
    std::uint64_t total() const { return dims == 0 ? 0 : std::uint64_t(count[0]) * count[1]; }
};

Shape get_shape(Reader& r, int depth)
{
    if (depth >= kMaxDepth) throw Bad();
    Shape s;
    const auto dims = r.get<std::uint8_t>();
    if (dims > 2) throw Bad();
    s.dims = dims;
    for (int d = 0; d < dims; ++d) {
        s.lb[d] = r.get<std::int32_t>();
        s.count[d] = r.get<std::uint32_t>();
        // The count and the last index must stay representable.
        if (s.count[d] > INT32_MAX ||
            (s.count[d] > 0 && static_cast<std::int64_t>(s.lb[d]) + s.count[d] - 1 > INT32_MAX))
            throw Bad();
    }
    r.need(s.total() * kMinValue); // every item is at least its type code
    r.charge(sizeof(VariantArray) + s.total() * sizeof(Variant));
    return s;
}

// Whether `a` has exactly the shape `s`.
bool same_shape(const VariantArray& a, const Shape& s)
{
    if (a.Dimensions() != s.dims) return false;
    for (int d = 0; d < s.dims; ++d)
        if (a.LBound(d + 1) != s.lb[d] || std::int64_t(a.UBound(d + 1)) - a.LBound(d + 1) + 1 != s.count[d])
            return false;
    return true;
}

Variant get_value(Reader& r, const ObjectIn& in, int depth)
{
    const auto t = static_cast<VarType>(r.get<std::uint16_t>());
    switch (t) {
    case VarType::Empty: return Variant();
    case VarType::Null: return Variant(NullValue{});
    case VarType::Error: return Variant::Missing();
    case VarType::Integer: return Variant(r.get<std::int16_t>());
    case VarType::Long: return Variant(r.get<std::int32_t>());
    case VarType::Single: return Variant(r.get<float>());
    case VarType::Double: return Variant(r.get<double>());
    case VarType::Date: return Variant(DateValue{r.get<double>()});
    case VarType::String: return Variant(r.text());
    case VarType::Boolean: {
        const auto b = r.get<std::uint8_t>();
        if (b > 1) throw Bad();
        return Variant(b == 1);
    }
    case VarType::Byte: return Variant(r.get<std::uint8_t>());
    case VarType::Object: {
        const auto owner = r.get<std::uint8_t>();
        if (owner > 1) throw Bad();
        WireObject o{owner == 1, r.get<std::uint32_t>()};
        if (!o.receivers && o.handle != 0) r.charge(kObjectCost);
        return Variant(in(o));
    }
    case VarType::ByteArray: {
        const auto lb = r.get<std::int32_t>();
        return Variant(r.bytes(r.get<std::uint32_t>()), lb);
    }
    case VarType::Array: {
        const Shape s = get_shape(r, depth);
        if (s.dims == 0) return Variant(VariantArray());
        VariantArray a = s.dims == 1 ? VariantArray(s.lb[0], static_cast<std::int32_t>(s.count[0]))
                                     : VariantArray(s.lb[0], static_cast<std::int32_t>(s.count[0]), s.lb[1],
                                                    static_cast<std::int32_t>(s.count[1]));
        // The items come in the order they are stored (last index fastest).
        for (Variant& item : a.items_in_place()) item = get_value(r, in, depth + 1);
        return Variant(std::move(a));
    }
    }
    throw Bad();
}

// Reads a value as get_value does, building nothing and asking `known`
// about object references instead of taking them: the whole-message check
// that comes before values are decoded into the caller's own.
void skip_value(Reader& r, const ObjectKnown& known, int depth)
{
    const auto t = static_cast<VarType>(r.get<std::uint16_t>());
    switch (t) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Error: return;
    case VarType::Integer: return r.skip(2);
    case VarType::Long:
    case VarType::Single: return r.skip(4);
    case VarType::Double:
    case VarType::Date: return r.skip(8);
    case VarType::String: {
        const auto n = r.get<std::uint32_t>();
        r.skip(n);
        return r.charge(n);
    }
    case VarType::Boolean:
        if (r.get<std::uint8_t>() > 1) throw Bad();
        return;
    case VarType::Byte: return r.skip(1);
    case VarType::Object: {
        const auto owner = r.get<std::uint8_t>();
        if (owner > 1) throw Bad();
        const WireObject o{owner == 1, r.get<std::uint32_t>()};
        if (!known(o)) throw Bad();
        if (!o.receivers && o.handle != 0) r.charge(kObjectCost);
        return;
    }
    case VarType::ByteArray: {
        r.skip(4);
        const auto n = r.get<std::uint32_t>();
        r.skip(n);
        return r.charge(n);
    }
    case VarType::Array: {
        const Shape s = get_shape(r, depth);
        for (std::uint64_t i = 0; i < s.total(); ++i) skip_value(r, known, depth + 1);
        return;
    }
    }
    throw Bad();
}

// Decodes a value over `target`: an array of the same shape keeps its
// storage and has its items decoded over in turn, anything else is
// replaced. Only called on values skip_value has passed.
void get_value_into(Reader& r, Variant& target, const ObjectIn& in, int depth)
{
    const std::size_t at = r.pos();
    VariantArray* a = target.ArrayPtr();
    if (a && static_cast<VarType>(r.get<std::uint16_t>()) == VarType::Array) {
        const Shape s = get_shape(r, depth);
        if (s.dims > 0 && same_shape(*a, s)) {
            for (Variant& item : a->items_in_place()) get_value_into(r, item, in, depth + 1);
            return;
        }
    }
    r.seek(at);
    target = get_value(r, in, depth);
}

std::vector<Variant> get_values(Reader& r, const ObjectIn& in)
{
    const auto n = r.get<std::uint32_t>();
    r.need(std::uint64_t(n) * kMinValue);
    r.charge(std::uint64_t(n) * sizeof(Variant));
    std::vector<Variant> out;
    out.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(get_value(r, in, 0));
    return out;
}

// Encodes into `frame`, reusing its storage.
void encode_into(const Message& m, const ObjectOut& out, std::vector<std::uint8_t>& frame)
{
    Writer w(frame);
    put_message(w, m, out);
    w.finish();
}

// A buffer kept between messages, let go when a rare large one made it big.
void trim(std::vector<std::uint8_t>& buffer)
{
    if (buffer.capacity() > (16u << 20)) std::vector<std::uint8_t>().swap(buffer);
}

} // namespace

std::vector<std::uint8_t> Encode(const Message& m, const ObjectOut& out)
{
    std::vector<std::uint8_t> frame;
    encode_into(m, out, frame);
    return frame;
}

std::optional<Message> Decode(std::span<const std::uint8_t> payload, const ObjectIn& in)
{
    return Decode(payload, in, nullptr, nullptr);
}

std::optional<Message> Decode(std::span<const std::uint8_t> payload, const ObjectIn& in, const ObjectKnown& known,
                              std::vector<Variant>* into, std::uint64_t limit)
{
    try {
        Reader r(payload, limit);
        Message m;
        const auto kind = r.get<std::uint8_t>();
        if (kind < 1 || kind > 5) return std::nullopt;
        m.kind = static_cast<Kind>(kind);
        switch (m.kind) {
        case Kind::Call:
            m.call = r.get<std::uint32_t>();
            m.handle = r.get<std::uint32_t>();
            m.dispid = r.get<std::int32_t>();
            m.invoke = r.get<std::uint8_t>();
            if (m.invoke != 1 && m.invoke != 2 && m.invoke != 4 && m.invoke != 8) return std::nullopt;
            m.args = get_values(r, in);
            break;
        case Kind::Return:
            m.call = r.get<std::uint32_t>();
            if (into) {
                // Checked whole before anything of the caller's changes.
                Reader check(payload.subspan(r.pos()), limit);
                skip_value(check, known, 0);
                const auto n = check.get<std::uint32_t>();
                check.need(std::uint64_t(n) * kMinValue);
                check.charge(std::uint64_t(n) * sizeof(Variant));
                for (std::uint32_t i = 0; i < n; ++i) skip_value(check, known, 0);
                if (check.left() != 0) return std::nullopt;
                if (n != into->size()) into = nullptr;
            }
            m.result = get_value(r, in, 0);
            if (into) {
                r.skip(4);
                for (Variant& a : *into) get_value_into(r, a, in, 0);
            } else {
                m.args = get_values(r, in);
            }
            break;
        case Kind::Error:
            m.call = r.get<std::uint32_t>();
            m.number = r.get<std::int32_t>();
            m.source = r.text();
            m.text = r.text();
            break;
        case Kind::Names:
            m.call = r.get<std::uint32_t>();
            m.handle = r.get<std::uint32_t>();
            m.text = r.text();
            break;
        case Kind::Release:
            m.handle = r.get<std::uint32_t>();
            m.dispid = static_cast<std::int32_t>(r.get<std::uint32_t>());
            break;
        }
        if (r.left() != 0) return std::nullopt;
        return m;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void FrameReader::feed(std::span<const std::uint8_t> bytes)
{
    if (failed_) return;
    if (start_ > 0 && start_ * 2 >= buffer_.size()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    const std::size_t need = buffer_.size() + bytes.size();
    if (need > buffer_.capacity()) {
        // Grown by doubling, but to the end of a large frame whose length is
        // known once that is near: its bytes are copied as few times as
        // may be and never held twice over. Near is its payload within twice
        // the doubled room (its length and what lies before it aside, or a
        // frame of the largest length would take one more doubling).
        std::size_t room = std::max(need, buffer_.capacity() * 2);
        if (held() >= 4) {
            std::uint32_t len;
            std::memcpy(&len, buffer_.data() + start_, 4);
            const std::size_t end = start_ + 4 + len;
            if (need <= end && len <= room * 2) room = end;
        }
        buffer_.reserve(room);
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

FrameReader::Result FrameReader::front(std::span<const std::uint8_t>& payload)
{
    if (failed_) return Result::Bad;
    if (held() < 4) return Result::More;
    std::uint32_t len;
    std::memcpy(&len, buffer_.data() + start_, 4);
    if (len == 0 || len > kMaxFrame) {
        failed_ = true;
        std::vector<std::uint8_t>().swap(buffer_);
        start_ = 0;
        return Result::Bad;
    }
    if (held() - 4 < len) return Result::More;
    payload = std::span<const std::uint8_t>(buffer_.data() + start_ + 4, len);
    return Result::Frame;
}

void FrameReader::pop()
{
    std::span<const std::uint8_t> payload;
    if (front(payload) != Result::Frame) return;
    start_ += 4 + payload.size();
    if (start_ == buffer_.size()) {
        // A large frame's room is let go once it has been taken.
        if (buffer_.capacity() > (1u << 20)) std::vector<std::uint8_t>().swap(buffer_);
        else buffer_.clear();
        start_ = 0;
    }
}

FrameReader::Result FrameReader::next(std::vector<std::uint8_t>& payload)
{
    std::span<const std::uint8_t> p;
    const Result r = front(p);
    if (r != Result::Frame) return r;
    payload.assign(p.begin(), p.end());
    pop();
    return r;
}

// --- connections ------------------------------------------------------------------

namespace {

Message error_answer(std::uint32_t call, std::int32_t number, std::string source, std::string text)
{
    Message m;
    m.kind = Kind::Error;
    m.call = call;
    m.number = number;
    m.source = std::move(source);
    m.text = std::move(text);
    return m;
}

// A handle of the peer's object, made callable here.
struct Proxy : Dispatch {
    std::shared_ptr<Connection> connection;
    std::uint32_t handle;
    mutable std::vector<std::pair<std::string, DispId>> names;

    Proxy(std::shared_ptr<Connection> c, std::uint32_t h) : connection(std::move(c)), handle(h) {}
    ~Proxy() override;
    std::optional<DispId> GetIDOfName(std::string_view name) const override
    {
        for (const auto& [n, id] : names)
            if (NameEquals(n, name)) return id;
        auto id = connection->Names(handle, name);
        if (id) names.emplace_back(std::string(name), *id);
        return id;
    }
    Variant Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) override
    {
        return connection->Call(handle, id, kind, args);
    }
};

} // namespace

// Calls being served on this thread, over every connection: a member that
// calls back a peer which calls again nests them. Each peer may nest
// kMaxNesting deep, so one that stops answering at its bound leaves room
// for the others; all together nest at most kMaxNestingAll deep.
thread_local int serving_depth = 0;
constexpr int kMaxNestingAll = 8 * kMaxNesting;

// How much is read ahead of the frames handled, at most, and how many
// frames are handled in one turn of the loop.
constexpr std::size_t kReadAhead = 64u << 10;
constexpr int kFramesPerTurn = 1;

struct Connection::Impl {
    Connection& self;
    int fd;
    EventPump* pump;
    QSocketNotifier* notifier = nullptr; // readable
    QSocketNotifier* writable = nullptr; // the queue can go on
    FrameReader reader;
    // What `reader` holds, counted with the other connections of a server.
    Held_Bytes::Share held;
    std::uint32_t next_call = 1;
    std::uint32_t next_handle = kRootHandle + 1;
    struct Export {
        ObjectRef object;
        std::uint64_t refs = 0;
    };
    std::map<std::uint32_t, Export> exports;
    std::map<const Dispatch*, std::uint32_t> handle_of;
    struct Import {
        std::weak_ptr<Proxy> proxy;
        std::uint32_t received = 0;
    };
    std::map<std::uint32_t, Import> imports;
    std::map<std::uint32_t, Message> answers;
    // The last frame written, kept so that a large message does not cost a
    // large allocation each time.
    std::vector<std::uint8_t> out_frame;
    // Frames the socket has not taken yet, the first written up to `sent`;
    // `queued` counts the bytes still to write.
    std::deque<std::vector<std::uint8_t>> queue;
    std::size_t sent = 0, queued = 0;
    // Calls of this peer being served, one inside another.
    int serving = 0;
    // Calls that wait for their answer, each with the arguments its answer
    // brings back changed (null for a name's look-up).
    std::map<std::uint32_t, std::vector<Variant>*> pending;

    Impl(Connection& s, int f, EventPump* p) : self(s), fd(f), pump(p) {}

    WireObject out(const ObjectRef& o)
    {
        if (!o) return {};
        if (auto* p = dynamic_cast<Proxy*>(o.get()); p && p->connection.get() == &self) return {true, p->handle};
        auto it = handle_of.find(o.get());
        std::uint32_t h;
        if (it != handle_of.end()) {
            h = it->second;
        } else {
            h = next_handle++;
            handle_of[o.get()] = h;
            exports[h].object = o;
        }
        ++exports[h].refs;
        return {false, h};
    }

    ObjectRef in(const WireObject& w)
    {
        if (w.receivers) {
            auto it = exports.find(w.handle);
            if (it == exports.end()) throw Bad();
            return it->second.object;
        }
        if (w.handle == 0) return nullptr;
        Import& imp = imports[w.handle];
        ++imp.received;
        if (auto p = imp.proxy.lock()) return p;
        auto p = std::make_shared<Proxy>(self.shared_from_this(), w.handle);
        imp.proxy = p;
        return p;
    }

    ObjectOut encoder() { return [this](const ObjectRef& o) { return out(o); }; }
    ObjectIn decoder() { return [this](const WireObject& w) { return in(w); }; }
    bool known(const WireObject& w) const { return !w.receivers || exports.count(w.handle) > 0; }

    // The peer has not taken all that was written to it: its calls wait
    // (their answers would only queue up behind).
    bool holding() const { return !queue.empty(); }

    // Whether more is read from the socket now: not while a whole frame is
    // in hand and the peer holds back its answers, nor far ahead of the
    // frames handled, nor after a bad frame. A frame under way is always
    // read on, so two large messages that cross both arrive.
    bool want_read()
    {
        std::span<const std::uint8_t> payload;
        const FrameReader::Result r = reader.front(payload);
        if (r == FrameReader::Result::Bad) return false;
        return !(r == FrameReader::Result::Frame && (holding() || reader.held() >= kReadAhead));
    }

    // Reads what the socket holds now (as far as wanted); false when the
    // peer has gone.
    bool read_some()
    {
        std::uint8_t buf[65536];
        while (want_read()) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n > 0) {
                // A peer whose bytes would take the server's connections past
                // what they may hold together is dropped. Not read on later
                // instead: peers that each hold part of a frame would wait for
                // one another for good, and one that never ends its frame
                // would hold the others as long as it likes.
                if (!held.fits(static_cast<std::size_t>(n))) {
                    self.Close();
                    return true;
                }
                reader.feed(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)));
                held.set(reader.held());
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            return false;
        }
        return true;
    }

    // Writes what the socket takes now, never waiting; false when the peer
    // has gone.
    bool flush()
    {
        while (!queue.empty()) {
            std::vector<std::uint8_t>& f = queue.front();
            const ssize_t n = ::send(fd, f.data() + sent, f.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                queued -= static_cast<std::size_t>(n);
                if (sent == f.size()) {
                    if (out_frame.capacity() == 0 && f.capacity() <= (16u << 20)) {
                        f.clear();
                        out_frame.swap(f);
                    }
                    queue.pop_front();
                    sent = 0;
                }
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
            return false;
        }
        return true;
    }

    // The notifiers follow the queue and the frames in hand.
    void arm()
    {
        if (self.closed_) return;
        if (writable) writable->setEnabled(holding());
        if (notifier) notifier->setEnabled(want_read());
    }

    void writable_now()
    {
        auto keep = self.shared_from_this();
        if (!flush()) return self.Close();
        arm();
        // The answers taken: the calls held meanwhile are served.
        if (!holding()) post_drain();
    }

    void post_drain()
    {
        if (!pump) return;
        std::weak_ptr<Connection> weak = self.weak_from_this();
        pump->post([weak] {
            if (auto c = weak.lock()) c->impl_->readable();
        });
    }

    void readable()
    {
        auto keep = self.shared_from_this();
        drain();
        arm();
    }

    void write(const Message& m)
    {
        if (self.closed_) return;
        std::vector<std::uint8_t>& frame = out_frame;
        try {
            encode_into(m, encoder(), frame);
        } catch (const VbError& e) {
            if (m.kind == Kind::Return) {
                encode_into(error_answer(m.call, e.number, "", e.description), encoder(), frame);
            } else {
                throw;
            }
        }
        queued += frame.size();
        queue.push_back(std::move(frame));
        frame = {};
        if (!flush()) return self.Close();
        // A peer that does not read is dropped once what waits for it passes
        // the bound (the frame under way, however large, aside).
        if (holding() && queued - (queue.front().size() - sent) > kMaxQueued) return self.Close();
        trim(out_frame);
        arm();
    }

    void drain()
    {
        if (self.closed_) return;
        if (holding() && !flush()) return self.Close();
        if (!read_some()) {
            // What arrived before the end is still handled (answers).
            handle_frames();
            return self.Close();
        }
        handle_frames();
    }

    void handle_frames()
    {
        // A few frames a turn: a peer with many calls in hand takes its
        // turn with the others (the rest is handled on the next).
        for (int turn = 0; !self.closed_; ++turn) {
            std::span<const std::uint8_t> payload;
            const FrameReader::Result r = reader.front(payload);
            if (r == FrameReader::Result::More) return;
            if (r == FrameReader::Result::Bad) return self.Close();
            if (turn == kFramesPerTurn && pump) return post_drain();
            const auto kind = static_cast<Kind>(payload[0]);
            if (holding() && (kind == Kind::Call || kind == Kind::Names)) return;
            // An answer brings its by-reference arguments back straight
            // into the waiting caller's.
            std::vector<Variant>* into = nullptr;
            if (payload.size() >= 5 && kind == Kind::Return) {
                std::uint32_t call;
                std::memcpy(&call, payload.data() + 1, 4);
                if (auto p = pending.find(call); p != pending.end()) into = p->second;
            }
            // Decoded where it lies, and let go before it is handled: a call
            // served below reads frames itself. What a message brings may be
            // held by the calls of this peer served meanwhile, each level
            // holding its own: the deeper they nest, the less one message
            // may take, so that all of them together take at most a few
            // times the bound.
            const std::uint64_t limit = kMaxDecoded >> std::min(serving, 16);
            std::optional<Message> m =
                Decode(payload, decoder(), [this](const WireObject& w) { return known(w); }, into, limit);
            reader.pop();
            held.set(reader.held());
            if (!m) return self.Close();
            handle(std::move(*m));
        }
    }

    void handle(Message m)
    {
        switch (m.kind) {
        case Kind::Return:
        case Kind::Error:
            // An answer nobody waits for is dropped, so a peer cannot make
            // this side hold what it sends.
            if (pending.erase(m.call)) answers[m.call] = std::move(m);
            return;
        case Kind::Release: {
            auto it = exports.find(m.handle);
            if (it == exports.end() || m.handle == kRootHandle) return;
            const auto n = static_cast<std::uint32_t>(m.dispid);
            it->second.refs = it->second.refs > n ? it->second.refs - n : 0;
            if (it->second.refs == 0) {
                handle_of.erase(it->second.object.get());
                exports.erase(it);
            }
            return;
        }
        case Kind::Names:
        case Kind::Call: serve(std::move(m)); return;
        }
    }

    void serve(Message m)
    {
        Message answer;
        answer.kind = Kind::Return;
        answer.call = m.call;
        auto it = exports.find(m.handle);
        ObjectRef object = it == exports.end() ? nullptr : it->second.object;
        struct Nested {
            int& mine;
            explicit Nested(int& m) : mine(m) { ++mine, ++serving_depth; }
            ~Nested() { --mine, --serving_depth; }
        };
        try {
            if (!object) throw VbError(-2147417848, "", "The object invoked has disconnected from its clients");
            if (serving >= kMaxNesting || serving_depth >= kMaxNestingAll)
                throw VbError(28, "", "Out of stack space");
            Nested nested(serving);
            if (m.kind == Kind::Names) {
                auto id = object->GetIDOfName(m.text);
                if (!id) throw VbError(438, "", "Object doesn't support this property or method");
                answer.result = Variant(std::int32_t(*id));
            } else {
                // A member that runs the event loop (a box waiting for its
                // person) still hears what arrives on this connection
                // meanwhile: nested calls are served, as a modal loop does.
                arm();
                answer.result = object->Invoke(m.dispid, static_cast<InvokeKind>(m.invoke), m.args);
                answer.args = std::move(m.args);
            }
        } catch (const VbError& e) {
            answer = error_answer(m.call, e.number, e.source, e.description);
        } catch (const std::exception& e) {
            answer = error_answer(m.call, 440, "", std::string("Automation error: ") + e.what());
        }
        write(answer);
    }

    Message wait_for(std::uint32_t call)
    {
        auto keep = self.shared_from_this();
        struct Forget {
            Impl& i;
            std::uint32_t call;
            ~Forget() { i.pending.erase(call); }
        } forget{*this, call};
        // Without a deadline scope the call waits as long as the peer lives;
        // each turn is bounded so the loop is looked at again.
        Answer_Deadline* const scope = answer_deadline;
        const int limit_ms = Connection_Access::ms(scope);
        const auto now_ms = [this] {
            if (pump) return pump->clock().now_us() / 1000;
            return std::int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
        };
        const std::int64_t give_up = limit_ms > 0 ? now_ms() + limit_ms : 0;
        for (;;) {
            drain();
            if (auto a = answers.find(call); a != answers.end()) {
                Message m = std::move(a->second);
                answers.erase(a);
                return m;
            }
            if (self.closed_) throw Server_Gone();
            std::int64_t turn_ms = 1000;
            if (give_up) {
                const std::int64_t left = give_up - now_ms();
                if (left <= 0) {
                    // A late answer would meet a call no longer waiting:
                    // the peer is done with.
                    Connection_Access::expire(scope);
                    self.Close();
                    throw Server_Gone();
                }
                turn_ms = std::min<std::int64_t>(turn_ms, left);
            }
            if (pump) {
                arm();
                pump->wait_until([&] { return self.closed_ || answers.count(call) > 0; },
                                 pump->clock().now_us() + turn_ms * 1000);
            } else {
                pollfd p{fd, static_cast<short>((want_read() ? POLLIN : 0) | (holding() ? POLLOUT : 0)), 0};
                ::poll(&p, 1, int(turn_ms));
            }
        }
    }
};

Connection::Connection(int fd, EventPump* pump) : impl_(std::make_unique<Impl>(*this, fd, pump)) {}

std::shared_ptr<Connection> Connection::Adopt(int fd, EventPump* pump, ObjectRef root, std::shared_ptr<Held_Bytes> held)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::shared_ptr<Connection> c(new Connection(fd, pump));
    c->impl_->held = Held_Bytes::Share(std::move(held));
    if (root) {
        c->impl_->exports[kRootHandle] = {root, 1};
        c->impl_->handle_of[root.get()] = kRootHandle;
    }
    if (pump) {
        auto* n = new QSocketNotifier(fd, QSocketNotifier::Read);
        c->impl_->notifier = n;
        std::weak_ptr<Connection> weak = c;
        QObject::connect(n, &QSocketNotifier::activated, n, [weak, n] {
            // Handled on the loop's next turn, outside this notifier, so a
            // call served there may wait on the socket again.
            n->setEnabled(false);
            if (auto c = weak.lock()) c->impl_->post_drain();
        });
        auto* w = new QSocketNotifier(fd, QSocketNotifier::Write);
        w->setEnabled(false);
        c->impl_->writable = w;
        QObject::connect(w, &QSocketNotifier::activated, w, [weak] {
            if (auto c = weak.lock()) c->impl_->writable_now();
        });
    }
    return c;
}

std::shared_ptr<Connection> Connection::Connect(const std::string& path, EventPump* pump)
{
    const int fd = platform::Connect_Local(path);
    if (fd < 0) throw Server_Gone();
    return Adopt(fd, pump);
}

Connection::~Connection()
{
    on_closed = nullptr;
    Close();
}

void Connection::Close()
{
    if (closed_) return;
    closed_ = true;
    for (QSocketNotifier** n : {&impl_->notifier, &impl_->writable}) {
        if (!*n) continue;
        (*n)->setEnabled(false);
        (*n)->deleteLater();
        *n = nullptr;
    }
    ::close(impl_->fd);
    impl_->queue.clear();
    impl_->queued = impl_->sent = 0;
    // What arrived and was not handled is let go (a proxy may keep the
    // connection for long).
    impl_->reader = FrameReader();
    impl_->held.set(0);
    // Objects are released after the maps are cleared: a destructor that
    // runs then finds the connection closed.
    auto exports = std::move(impl_->exports);
    impl_->exports.clear();
    impl_->handle_of.clear();
    exports.clear();
    if (auto f = std::move(on_closed)) f();
}

ObjectRef Connection::Root()
{
    return impl_->in(WireObject{false, kRootHandle});
}

std::size_t Connection::Exported() const { return impl_->exports.size(); }

std::optional<DispId> Connection::Names(std::uint32_t handle, std::string_view name)
{
    if (closed_) throw Server_Gone();
    Message m;
    m.kind = Kind::Names;
    m.call = impl_->next_call++;
    m.handle = handle;
    m.text = std::string(name);
    impl_->pending.emplace(m.call, nullptr);
    impl_->write(m);
    Message a = impl_->wait_for(m.call);
    if (a.kind == Kind::Error) {
        if (a.number == 438) return std::nullopt;
        throw VbError(a.number, a.source, a.text);
    }
    return a.result.ToInt32();
}

Variant Connection::Call(std::uint32_t handle, DispId id, InvokeKind kind, std::vector<Variant>& args)
{
    if (closed_) throw Server_Gone();
    Message m;
    m.kind = Kind::Call;
    m.call = impl_->next_call++;
    m.handle = handle;
    m.dispid = id;
    m.invoke = static_cast<std::uint8_t>(kind);
    // Encoded from the caller's own arguments (no copy); they stay as they
    // are unless the answer brings them back changed.
    m.args = std::move(args);
    impl_->pending.emplace(m.call, &args);
    try {
        impl_->write(m);
    } catch (...) {
        impl_->pending.erase(m.call);
        args = std::move(m.args);
        throw;
    }
    args = std::move(m.args);
    Message a = impl_->wait_for(m.call);
    if (a.kind == Kind::Error) throw VbError(a.number, a.source, a.text);
    // The answer's arguments were decoded into `args` as it arrived; one
    // with another count of arguments left them as they were.
    return std::move(a.result);
}

void Connection::Release(std::uint32_t handle)
{
    auto it = impl_->imports.find(handle);
    if (it == impl_->imports.end()) return;
    const std::uint32_t count = it->second.received;
    impl_->imports.erase(it);
    if (closed_ || count == 0) return;
    Message m;
    m.kind = Kind::Release;
    m.handle = handle;
    m.dispid = static_cast<std::int32_t>(count);
    impl_->write(m);
}

Proxy::~Proxy() { connection->Release(handle); }

// --- the listening end -------------------------------------------------------------

struct Server::Impl {
    Server& self;
    EventPump& pump;
    ObjectRef root;
    std::shared_ptr<Held_Bytes> held = std::make_shared<Held_Bytes>(kMaxHeld);
    std::vector<std::shared_ptr<Connection>> connections;
    std::unique_ptr<Local_Listener> listener;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    Impl(Server& s, EventPump& p, ObjectRef r) : self(s), pump(p), root(std::move(r)) {}

    void take(int fd)
    {
        auto c = Connection::Adopt(fd, &pump, root, held);
        std::weak_ptr<Connection> weak = c;
        c->on_closed = [this, weak] {
            listener->resume();
            // Dropped on the next turn: the connection may be mid-call now.
            pump.post([this, weak, alive = std::weak_ptr<bool>(alive)] {
                if (!alive.lock()) return;
                auto c = weak.lock();
                std::erase_if(connections, [&](const auto& x) { return x == c || x->Closed(); });
                if (self.on_closed) self.on_closed();
            });
        };
        connections.push_back(std::move(c));
    }
};

Server::Server(EventPump& pump, std::string path, ObjectRef root)
    : impl_(std::make_unique<Impl>(*this, pump, std::move(root)))
{
    Impl* i = impl_.get();
    i->listener = std::make_unique<Local_Listener>(
        pump, std::move(path), kMaxConnections, [this] { return connections(); }, [i](int fd) { i->take(fd); });
    if (!i->listener->listening()) throw VbError(70, "", "Permission denied");
}

Server::~Server()
{
    *impl_->alive = false;
    for (auto& c : impl_->connections) {
        c->on_closed = nullptr;
        c->Close();
    }
    impl_->connections.clear();
    impl_->listener.reset();
}

const std::string& Server::path() const { return impl_->listener->path(); }

std::size_t Server::connections() const
{
    return static_cast<std::size_t>(
        std::count_if(impl_->connections.begin(), impl_->connections.end(), [](const auto& c) { return !c->Closed(); }));
}

} // namespace platform::remote
