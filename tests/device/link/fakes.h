// Test doubles for the link: a scripted serial port and a recording host.
#pragma once

#include "device/link/link.h"
#include "platform/events/fake_events.h"

#include <functional>
#include <string>
#include <vector>

namespace linktest {

using brenvik::Packet;

inline std::string bytes(std::initializer_list<int> v)
{
    std::string s;
    for (int b : v) s.push_back(static_cast<char>(b));
    return s;
}
inline Packet pkt(std::initializer_list<int> v)
{
    Packet p;
    for (int b : v) p.push_back(static_cast<std::uint8_t>(b));
    return p;
}
inline Packet as_packet(const std::string& s) { return Packet(s.begin(), s.end()); }

class FakePort : public platform::CommPort {
public:
    bool open = true;
    std::string rx;
    std::vector<Packet> written;
    int threshold = 0;
    std::function<void()> on_comm;
    // Called after each Output (the far end answering).
    std::function<void(const Packet&)> on_write;

    bool PortOpen() const override { return open; }
    int Open() override
    {
        open = true;
        return 0;
    }
    void Close() override { open = false; }
    // While blocked, output stays queued (a peer that does not read).
    bool blocked = false;
    Packet queued;
    bool Output(std::span<const std::uint8_t> b) override
    {
        if (blocked) {
            queued.insert(queued.end(), b.begin(), b.end());
            return true;
        }
        written.emplace_back(b.begin(), b.end());
        if (on_write) on_write(written.back());
        return true;
    }
    int OutBufferCount() override { return static_cast<int>(queued.size()); }
    void ClearOutput() override { queued.clear(); }
    std::string Input() override
    {
        std::string s;
        s.swap(rx);
        return s;
    }
    int InBufferCount() override { return static_cast<int>(rx.size()); }
    void ClearInput() override { rx.clear(); }
    int RThreshold() const override { return threshold; }
    void set_RThreshold(int n) override
    {
        threshold = n;
        fire();
    }
    int CommEvent() const override { return platform::comEvReceive; }
    void set_OnComm(std::function<void()> h) override { on_comm = std::move(h); }

    // Bytes arriving from the receiver; OnComm fires when the threshold allows.
    void push(const std::string& s)
    {
        rx += s;
        fire();
    }

private:
    void fire()
    {
        if (threshold > 0 && !rx.empty() && on_comm && !in_comm_) {
            in_comm_ = true;
            on_comm();
            in_comm_ = false;
        }
    }
    bool in_comm_ = false;
};

struct Event {
    std::string kind;
    int code = 0;
    std::string text;
    Packet packet;
};

class FakeHost : public brenvik::LinkHost {
public:
    std::vector<Event> events;
    std::vector<Packet> dispatched;
    std::function<void(const Packet&)> on_receive;
    std::function<void(const Packet&)> on_dispatch;

    void Dispatch_Packet(const Packet& p) override
    {
        dispatched.push_back(p);
        if (on_dispatch) on_dispatch(p);
    }
    void raise_Receive(const Packet& p) override
    {
        events.push_back({"Receive", 0, "", p});
        if (on_receive) on_receive(p);
    }
    void raise_cError(std::int16_t code, const std::string& m, const Packet& p) override
    {
        events.push_back({"cError", code, m, p});
    }
    void raise_uError(std::int32_t n, const std::string& m) override { events.push_back({"uError", n, m, {}}); }
    void raise_HexDebug(const std::string& t) override { events.push_back({"HexDebug", 0, t, {}}); }
    void raise_NMEA(const std::string& s, bool chk) override { events.push_back({"NMEA", chk ? 1 : 0, s, {}}); }
    void raise_USBprogress(std::int32_t n) override { events.push_back({"USBprogress", n, "", {}}); }
    void show_message(const std::string& t) override { events.push_back({"message", 0, t, {}}); }

    std::vector<Event> of(const std::string& kind) const
    {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
};

// A link on a fake port and the fake pump, serial port 1.
struct Rig {
    platform::FakeEventPump pump;
    brenvik::ProtocolProperties props;
    brenvik::cSAK sak;
    FakeHost host;
    FakePort port;
    brenvik::Link link{pump, props, sak, host};
    Rig()
    {
        port.threshold = 1;
        link.set_serial(&port);
    }
};

} // namespace linktest
