#include "platform/usb/fake_usb.h"

#include "platform/events/events.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace platform {

namespace {

constexpr std::size_t Header = 12;
constexpr std::int64_t Never = std::numeric_limits<std::int64_t>::max();

void put_header(std::vector<std::uint8_t>& b, std::uint8_t type, std::uint16_t id, std::uint32_t size)
{
    b[0] = type;
    b[4] = static_cast<std::uint8_t>(id);
    b[5] = static_cast<std::uint8_t>(id >> 8);
    for (int i = 0; i < 4; ++i) b[8 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

std::vector<std::uint8_t> parse_hex(const std::string& text, const std::string& where)
{
    std::vector<std::uint8_t> out;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else throw std::runtime_error(where + ": not a hex digit '" + std::string(1, c) + "'");
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0) throw std::runtime_error(where + ": odd number of hex digits");
    return out;
}

template <typename T>
T number(const nlohmann::json& j, const char* key, T fallback, const std::string& where)
{
    if (!j.contains(key)) return fallback;
    const auto& v = j.at(key);
    if (!v.is_number_integer()) throw std::runtime_error(where + ": \"" + key + "\" must be an integer");
    auto n = v.get<long long>();
    if (n < static_cast<long long>(std::numeric_limits<T>::min()) ||
        n > static_cast<long long>(std::numeric_limits<T>::max()))
        throw std::runtime_error(where + ": \"" + key + "\" out of range");
    return static_cast<T>(n);
}

FakeUsbPacket packet_from(const nlohmann::json& j, const std::string& where)
{
    if (!j.is_object()) throw std::runtime_error(where + ": a packet must be an object");
    FakeUsbPacket p;
    p.type = number<std::uint8_t>(j, "type", 20, where);
    p.id = number<std::uint16_t>(j, "id", 0, where);
    if (j.contains("data")) p.data = parse_hex(j.at("data").get<std::string>(), where);
    if (j.contains("raw")) p.raw = parse_hex(j.at("raw").get<std::string>(), where);
    if (j.contains("size")) p.size_field = number<std::uint32_t>(j, "size", 0, where);
    p.repeat = number<std::uint32_t>(j, "repeat", 1, where);
    return p;
}

std::vector<FakeUsbPacket> packets_from(const nlohmann::json& j, const char* key, const std::string& where)
{
    std::vector<FakeUsbPacket> out;
    if (!j.contains(key)) return out;
    const auto& a = j.at(key);
    if (!a.is_array()) throw std::runtime_error(where + ": \"" + key + "\" must be a list");
    for (std::size_t i = 0; i < a.size(); ++i)
        out.push_back(packet_from(a[i], where + "." + key + "[" + std::to_string(i) + "]"));
    return out;
}

} // namespace

std::vector<std::uint8_t> FakeUsbPacket::bytes() const
{
    if (!raw.empty()) return raw;
    std::vector<std::uint8_t> b(Header + data.size(), 0);
    put_header(b, type, id, size_field.value_or(static_cast<std::uint32_t>(data.size())));
    std::copy(data.begin(), data.end(), b.begin() + Header);
    return b;
}

FakeUsbScenario FakeUsbScenario::from_json(const std::string& text)
{
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(std::string("scenario: ") + e.what());
    }
    if (!j.is_object()) throw std::runtime_error("scenario: the top level must be an object");
    FakeUsbScenario s;
    try {
        s.unit_id = number<std::uint32_t>(j, "unit_id", s.unit_id, "scenario");
        s.max_packet_size = number<std::uint32_t>(j, "max_packet_size", s.max_packet_size, "scenario");
        if (s.max_packet_size == 0) throw std::runtime_error("scenario: max_packet_size must not be 0");
        s.api_version = number<std::uint32_t>(j, "api_version", s.api_version, "scenario");
        if (j.contains("session")) s.session = j.at("session").get<bool>();
        if (j.contains("reset_ok")) s.reset_ok = j.at("reset_ok").get<bool>();
        if (j.contains("rules")) {
            const auto& rules = j.at("rules");
            if (!rules.is_array()) throw std::runtime_error("scenario: \"rules\" must be a list");
            for (std::size_t i = 0; i < rules.size(); ++i) {
                std::string where = "rules[" + std::to_string(i) + "]";
                const auto& r = rules[i];
                if (!r.is_object()) throw std::runtime_error(where + ": a rule must be an object");
                FakeUsbRule rule;
                rule.type = number<std::uint8_t>(r, "type", 20, where);
                rule.id = number<std::uint16_t>(r, "id", 0, where);
                if (r.contains("command")) rule.command = number<std::uint8_t>(r, "command", 0, where);
                rule.times = number<int>(r, "times", -1, where);
                rule.delay_ms = number<int>(r, "delay_ms", 0, where);
                rule.interrupt = packets_from(r, "interrupt", where);
                rule.bulk = packets_from(r, "bulk", where);
                s.rules.push_back(std::move(rule));
            }
        }
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(std::string("scenario: ") + e.what());
    }
    return s;
}

FakeUsbScenario FakeUsbScenario::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the USB scenario " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return from_json(text.str());
}

void FakeUsbScript::record(std::span<const std::uint8_t> written)
{
    writes.emplace_back(written.begin(), written.end());
    if (record_path.empty()) return;
    std::ofstream out(record_path, std::ios::app);
    static const char* hex = "0123456789ABCDEF";
    std::string line;
    for (auto b : written) {
        line += hex[b >> 4];
        line += hex[b & 15];
    }
    out << line << '\n';
}

void FakeUsbScript::queue_interrupt(const FakeUsbPacket& p, std::int64_t at_us)
{
    if (p.repeat == 0) return;
    interrupt_.push_back({p.bytes(), p.repeat, 0, at_us});
}

void FakeUsbScript::queue_bulk(const FakeUsbPacket& p, std::int64_t at_us)
{
    if (p.repeat == 0) return;
    bulk_.push_back({p.bytes(), p.repeat, 0, at_us});
}

void FakeUsbScript::answer(std::span<const std::uint8_t> w, std::int64_t now_us)
{
    if (w.size() < Header) return;
    std::uint8_t type = w[0];
    std::uint16_t id = static_cast<std::uint16_t>(w[4] | (w[5] << 8));
    std::optional<std::uint8_t> command;
    if (w.size() > Header) command = w[Header];

    if (type == 0 && scenario.session && (id == 5 || id == 16)) {
        FakeUsbPacket reply;
        reply.type = 0;
        reply.id = id == 5 ? 6 : 17;
        if (id == 5) {
            for (int i = 0; i < 4; ++i) reply.data.push_back(static_cast<std::uint8_t>(scenario.unit_id >> (8 * i)));
        } else {
            reply.data = {0, 0, 0, 0};
        }
        queue_interrupt(reply, now_us);
        return;
    }
    used_.resize(scenario.rules.size(), 0);
    for (std::size_t i = 0; i < scenario.rules.size(); ++i) {
        const auto& r = scenario.rules[i];
        if (r.type != type || r.id != id) continue;
        if (r.command && r.command != command) continue;
        if (r.times >= 0 && used_[i] >= r.times) continue;
        ++used_[i];
        std::int64_t at = now_us + std::int64_t{r.delay_ms} * 1000;
        for (const auto& p : r.interrupt) queue_interrupt(p, at);
        if (!r.bulk.empty()) {
            FakeUsbPacket available;
            available.type = 0;
            available.id = 2;
            queue_interrupt(available, at);
            for (const auto& p : r.bulk) queue_bulk(p, at);
        }
        return;
    }
}

bool FakeUsbScript::interrupt_ready(std::int64_t now_us) const
{
    return !interrupt_.empty() && interrupt_.front().ready_us <= now_us;
}

bool FakeUsbScript::bulk_ready(std::int64_t now_us) const
{
    return !bulk_.empty() && bulk_.front().ready_us <= now_us;
}

std::int64_t FakeUsbScript::next_interrupt_us() const
{
    return interrupt_.empty() ? Never : interrupt_.front().ready_us;
}

std::int64_t FakeUsbScript::next_bulk_us() const
{
    return bulk_.empty() ? Never : bulk_.front().ready_us;
}

std::size_t FakeUsbScript::take_interrupt(std::span<std::uint8_t> out)
{
    // Interrupt pieces are at most 64 bytes; a longer packet takes several.
    auto& e = interrupt_.front();
    std::size_t n = std::min({out.size(), std::size_t{64}, e.bytes.size() - e.offset});
    if (n > 0) std::memcpy(out.data(), e.bytes.data() + e.offset, n);
    e.offset += n;
    if (e.offset >= e.bytes.size()) {
        e.offset = 0;
        if (--e.remaining == 0) interrupt_.pop_front();
    }
    return n;
}

std::size_t FakeUsbScript::take_bulk(std::span<std::uint8_t> out)
{
    // One packet per bulk transfer; a packet larger than the buffer is cut
    // into several transfers.
    auto& e = bulk_.front();
    std::size_t n = std::min(out.size(), e.bytes.size() - e.offset);
    if (n > 0) std::memcpy(out.data(), e.bytes.data() + e.offset, n);
    e.offset += n;
    if (e.offset >= e.bytes.size()) {
        e.offset = 0;
        if (--e.remaining == 0) bulk_.pop_front();
    }
    return n;
}

std::size_t FakeUsbScript::queued_bulk_packets() const
{
    std::size_t n = 0;
    for (const auto& e : bulk_) n += e.remaining;
    return n;
}

FakeUsbDevice::FakeUsbDevice(std::shared_ptr<FakeUsbScript> script, EventPump& pump)
    : script_(std::move(script)), pump_(pump)
{
    ++script_->opens;
}

// Waits on the pump for the pipe to have data. Handlers that run meanwhile
// may close (destroy) the device, so only the script and pump held here are
// used after the wait.
static bool wait_for(const std::shared_ptr<FakeUsbScript>& script, EventPump& pump, bool bulk, int timeout_ms)
{
    auto& s = *script;
    auto& clock = pump.clock();
    auto ready = [&] {
        return s.unplugged || (bulk ? s.bulk_ready(clock.now_us()) : s.interrupt_ready(clock.now_us()));
    };
    std::int64_t deadline = clock.now_us() + std::int64_t{std::max(timeout_ms, 0)} * 1000;
    for (;;) {
        if (ready()) return !s.unplugged;
        if (clock.now_us() >= deadline) return false;
        std::int64_t next = bulk ? s.next_bulk_us() : s.next_interrupt_us();
        pump.wait_until(ready, std::min(deadline, next));
    }
}

static UsbIo read_pipe(std::shared_ptr<FakeUsbScript> script, EventPump& pump, bool bulk,
                       std::span<std::uint8_t> buffer, int timeout_ms)
{
    if (script->unplugged) return {UsbStatus::no_device, 0, -4};
    if (!wait_for(script, pump, bulk, timeout_ms))
        return script->unplugged ? UsbIo{UsbStatus::no_device, 0, -4} : UsbIo{UsbStatus::timeout, 0, -7};
    return {UsbStatus::ok, bulk ? script->take_bulk(buffer) : script->take_interrupt(buffer), 0};
}

UsbIo FakeUsbDevice::read_interrupt(std::span<std::uint8_t> buffer, int timeout_ms)
{
    return read_pipe(script_, pump_, false, buffer, timeout_ms);
}

UsbIo FakeUsbDevice::read_bulk(std::span<std::uint8_t> buffer, int timeout_ms)
{
    return read_pipe(script_, pump_, true, buffer, timeout_ms);
}

UsbIo FakeUsbDevice::write(std::span<const std::uint8_t> data, int)
{
    if (script_->unplugged) return {UsbStatus::no_device, 0, -4};
    std::uint32_t mps = std::max<std::uint32_t>(1, script_->scenario.max_packet_size);
    script_->record(data);
    if (!data.empty() && data.size() % mps == 0) script_->record({});
    script_->answer(data, pump_.clock().now_us());
    return {UsbStatus::ok, data.size(), 0};
}

bool FakeUsbDevice::reset()
{
    ++script_->resets;
    return script_->scenario.reset_ok;
}

} // namespace platform
