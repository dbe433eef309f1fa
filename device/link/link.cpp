// The link's driver: runs the sans-I/O core against the serial port, the USB
// transport, the reply timer and the event pump, and does the waiting.
#include "device/link/link.h"

#include "device/link/detail/link_core.h"

#include <algorithm>
#include <deque>
#include <utility>

namespace brenvik {

using detail::LinkCore;
using detail::TimerCmd;

namespace {

// A reply wait in progress; waits nest when host handlers call back in.
struct WaitRec {
    std::uint8_t response;
    bool satisfied = false;
    bool restart = false;
};

} // namespace

struct Link::State : detail::CoreOutput {
    State(Link& link, platform::EventPump& pump, ProtocolProperties& props, cSAK& sak, LinkHost& host)
        : link(link), pump(pump), props(props), sak(sak), host(host),
          core(props, sak, detail::CoreFlags{link.UserFlowControl, link.DebugLog, link.Counting_Records}, *this)
    {
    }
    Link& link;
    platform::EventPump& pump;
    ProtocolProperties& props;
    cSAK& sak;
    LinkHost& host;
    LinkCore core;
    platform::CommPort* port = nullptr;
    UsbPath* usb = nullptr;
    std::unique_ptr<platform::Timer> tmrTimeout;
    // Output that nobody waits for (acknowledgements) is checked on at its deadline.
    std::unique_ptr<platform::Timer> tmrWrite;
    std::int64_t write_deadline_us = 0;
    int writing = 0;            // sends waiting for their packet to go out
    bool write_failed = false;  // the last send's packet never went out (reported)

    std::vector<WaitRec*> waits;
    int depth = 0;
    bool draining = false;
    // Receive events not raised yet, oldest first: a frame's own while its
    // decoders run, and that of a frame that ended a wait until the waiting
    // call has returned. Each has a number so its frame finds it again.
    std::deque<std::pair<std::uint64_t, Packet>> held;
    std::uint64_t next_held = 0;
    // Frames may wait in the receive buffer behind a held Receive. Should
    // the host sit in a wait of its own inside an event meanwhile, the
    // resume timer reads them at the loop's next turn.
    bool stalled = false;
    // Raising held events on the loop's next turn: one turn asked for at a
    // time, and none acted on once the link is gone.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    bool resume_posted = false;
    void post_resume();

    double now_s() const { return pump.clock().seconds_since_midnight(); }
    bool serial() const { return props.Port != 0; }
    void set_threshold(int n)
    {
        if (port) port->set_RThreshold(n);
    }
    // Threshold 0 while any reply wait polls the port, 1 otherwise.
    void restore_threshold() { set_threshold(waits.empty() ? 1 : 0); }

    // Queues a frame on the serial port. With `wait`, lets events run until
    // it has gone out; otherwise the write watch looks at it by its deadline.
    // What cannot go out by then (its time on the wire plus 2 s: a peer that
    // does not read, CTS held low) is dropped and reported; false then.
    bool put(const Packet& frame, bool wait)
    {
        if (!serial() || !port || !port->PortOpen()) return true;
        const std::size_t queued = static_cast<std::size_t>(std::max(0, port->OutBufferCount()));
        const std::int64_t deadline =
            pump.clock().now_us() + platform::Wire_Time_us(props.Settings, queued + frame.size()) + kWriteGrace_us;
        if (!port->Output(frame)) return write_failure();
        if (port->OutBufferCount() == 0) return true;
        write_deadline_us = deadline;
        if (!wait) {
            watch_write();
            return true;
        }
        ++writing;
        auto out = [&] { return !port->PortOpen() || port->OutBufferCount() == 0; };
        for (;;) {
            const std::int64_t now = pump.clock().now_us();
            if (out() || now >= deadline) break;
            // A driver's queue held by CTS says nothing when it empties:
            // look again every few milliseconds.
            pump.wait_until(out, std::min(deadline, now + kWritePoll_us));
        }
        --writing;
        if (!port->PortOpen() || port->OutBufferCount() > 0) return write_failure();
        // The reply time-out counts from when the packet is out.
        if (tmrTimeout->enabled()) tmrTimeout->set_enabled(true);
        return true;
    }
    void watch_write()
    {
        const std::int64_t left_ms = (write_deadline_us - pump.clock().now_us() + 999) / 1000;
        tmrWrite->set_interval_ms(std::max<std::int64_t>(1, left_ms));
        tmrWrite->set_enabled(true);
    }
    void tmrWrite_Timer()
    {
        tmrWrite->set_enabled(false);
        if (!serial() || !port || !port->PortOpen() || port->OutBufferCount() == 0) return;
        if (pump.clock().now_us() < write_deadline_us)
            watch_write();
        else
            write_failure();
    }
    bool write_failure()
    {
        if (port) port->ClearOutput();
        tmrWrite->set_enabled(false);
        write_failed = true;
        host.raise_cError(0, sak.xLate("Unable to write to port ") + std::to_string(props.Port), core.Last_Packet);
        return false;
    }
    static constexpr std::int64_t kWriteGrace_us = 2000000;
    static constexpr std::int64_t kWritePoll_us = 10000;

    // CoreOutput
    void write(const Packet& frame) override { put(frame, false); }
    void timer(TimerCmd cmd) override
    {
        switch (cmd) {
        case TimerCmd::Rearm:
            tmrTimeout->set_enabled(false);
            tmrTimeout->set_interval_ms(link.time_out_);
            if (!link.UserFlowControl) tmrTimeout->set_enabled(true);
            break;
        case TimerCmd::Stop:
            tmrTimeout->set_enabled(false);
            tmrTimeout->set_interval_ms(link.time_out_);
            break;
        case TimerCmd::Enable:
            tmrTimeout->set_enabled(true);
            break;
        }
    }
    void dispatch(const Packet& p) override { host.Dispatch_Packet(p); }
    void arriving() override
    {
        while (!held.empty()) {
            Packet p = std::move(held.front().second);
            held.pop_front();
            host.raise_Receive(p);
        }
    }
    // The held numbers of the frames being decoded (0: none held), innermost
    // last: decoders may call the host, which may call in and read more.
    std::vector<std::uint64_t> decoding;
    void receiving(const Packet& p, bool raise) override
    {
        if (raise) held.emplace_back(++next_held, p);
        decoding.push_back(raise ? next_held : 0);
    }
    bool accepted(const Packet& p) override
    {
        const std::uint64_t mine = decoding.empty() ? 0 : decoding.back();
        if (!decoding.empty()) decoding.pop_back();
        bool ended = false;
        for (WaitRec* w : waits) {
            if (p[1] == w->response && !w->satisfied) {
                w->satisfied = true;
                ended = true;
            }
            if (p[1] == props.PID_Nak_Byte) w->restart = true;
        }
        // Still held unless newer input raised it while the decoders ran.
        const bool still_held = mine != 0 && std::any_of(held.begin(), held.end(),
                                                         [mine](const auto& h) { return h.first == mine; });
        if (!still_held) return false;
        if (ended) {
            // Raised once the waiting call has returned (or before newer
            // input), so a host that sends its next packet from this
            // Receive does not nest one call deeper per packet.
            stalled = true;
            post_resume();
            return true;
        }
        arriving();
        return false;
    }
    void cError(std::int16_t code, const std::string& m, const Packet& p) override { host.raise_cError(code, m, p); }
    void hex_debug(const std::string& line) override { host.raise_HexDebug(line); }
    void nmea(const std::string& s, bool chk) override { host.raise_NMEA(s, chk); }
};

namespace {

// Counts nested entries into the link; when the outermost one returns, the
// Receive events still held are raised and the frames buffered behind them
// handled, one after the other at this same stack depth.
class Entry {
public:
    explicit Entry(Link::State& s) : s_(s) { ++s_.depth; }
    ~Entry()
    {
        if (--s_.depth != 0 || s_.draining) return;
        s_.draining = true;
        for (;;) {
            s_.arriving();
            if (!s_.stalled) break;
            s_.stalled = false;
            ++s_.depth;
            s_.core.feed({}, s_.now_s());
            --s_.depth;
        }
        s_.draining = false;
    }

private:
    Link::State& s_;
};

} // namespace

void Link::State::post_resume()
{
    if (resume_posted) return;
    resume_posted = true;
    std::weak_ptr<bool> token = alive;
    pump.post([this, token] {
        if (token.expired()) return;
        resume_posted = false;
        if (!stalled && held.empty()) return;
        Entry guard(*this);
        arriving();
        if (stalled) link.Serial_Input({});
    });
}

Link::Link(platform::EventPump& pump, ProtocolProperties& props, cSAK& sak, LinkHost& host)
    : s_(std::make_unique<State>(*this, pump, props, sak, host))
{
    s_->tmrTimeout = pump.make_timer();
    s_->tmrTimeout->on_timer([this] { tmrTimeout_Timer(); });
    s_->tmrWrite = pump.make_timer();
    s_->tmrWrite->on_timer([this] { s_->tmrWrite_Timer(); });
    stop_timer();
    s_->core.Debug_Clock = s_->now_s();
}

Link::~Link()
{
    if (s_->port) s_->port->set_OnComm(nullptr);
}

void Link::set_serial(platform::CommPort* port)
{
    if (s_->port) s_->port->set_OnComm(nullptr);
    s_->port = port;
    if (port) port->set_OnComm([this] { comGarmin_OnComm(); });
}

void Link::set_usb(UsbPath* usb) { s_->usb = usb; }

void Link::set_Time_Out(std::int16_t ms)
{
    if (ms >= 2000 && ms <= 5000) {
        time_out_ = ms;
        return;
    }
    time_out_ = 2000;
    s_->host.show_message(s_->sak.xLate("Time out must be from 2000 to 5000 ms. Set to 2000 ms"));
}

void Link::stop_timer()
{
    s_->timer(TimerCmd::Stop);
    s_->core.Retry_Count = 0;
}

void Link::clear_text_buffer() { s_->core.clear_input(); }
std::string Link::Text_Buffer() const { return std::string(s_->core.df.pending()); }
bool Link::Text_Mode() const { return s_->core.Text_Mode; }
std::uint64_t Link::text_lines_received() const { return s_->core.text_lines; }
const Packet& Link::Last_Packet() const { return s_->core.Last_Packet; }
std::int32_t Link::Retry_Count() const { return s_->core.Retry_Count; }
std::int32_t Link::Bad_Frame_Count() const { return s_->core.Bad_Frame_Count; }

std::uint8_t Link::Packet_Checksum(const Packet& packet) { return LinkCore::checksum(packet); }
Packet Link::Stuff_Packet(const Packet& packet) { return LinkCore::stuff(packet); }
std::string Link::NMEA_Checksum(std::string_view msg) { return LinkCore::nmea_checksum(msg); }

void Link::Debug_Line(const Packet& packet, std::string_view Direction)
{
    s_->core.debug_line(packet, Direction, s_->now_s());
}

// ---- sending -------------------------------------------------------------

bool Link::Send_Packet(const Packet& packet, std::uint8_t& Response, std::int32_t& WaitTime)
{
    State& s = *s_;
    Entry guard(s);
    const ProtocolProperties& pr = s.props;
    if (packet.size() < 6) return false;  // not a Host_Packet: nothing to frame
    s.write_failed = false;
    s.set_threshold(0);
    if (s.serial() && s.port && !s.port->PortOpen()) s.port->Open();

    const LinkCore::Outgoing o = s.core.begin_send(packet, Response, WaitTime, s.now_s());
    const std::uint8_t id = o.packet[1];

    // Acknowledgements, and packets that await nothing, go out and return.
    auto send_and_return = [&] {
        if (s.serial()) {
            // The reply timer keeps running.
            if (!s.put(o.frame, true)) {
                s.restore_threshold();
                return false;
            }
        } else if (s.usb) {
            s.timer(TimerCmd::Stop);
            s.usb->Write_Packet(o.packet, 0);
            s.usb->Read_Interrupt(0);
        }
        s.restore_threshold();
        return true;
    };
    if (id == pr.PID_Ack_Byte || id == pr.PID_Nak_Byte) return send_and_return();

    if (Response != 0) {
        s.timer(TimerCmd::Stop);
        s.core.Retry_Count = 0;
        if (s.serial()) {
            if (!s.put(o.frame, true)) {
                s.restore_threshold();
                return false;
            }
            if (Response == 2) {
                // Write_Only: the packet is out, which is all the caller asked for.
                Response = 0;
                s.restore_threshold();
                return true;
            }
            return Wait_Reply(Response, WaitTime);
        }
        if (!s.usb) return false;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            s.usb->Write_Packet(o.packet, Response);
            if (Response == 2) return true;
            if (s.usb->Read_Interrupt(Response)) return true;
            if (attempt < 3) s.usb->Drain_Input();
        }
        s.host.raise_HexDebug("PC ** GPS " + s.sak.xLate("No Response to Command ") + Hex_Byte(id) + "/" +
                              Hex_Byte(o.packet[3]) + ", expecting PID-&H" + Hex_Byte(Response));
        return false;
    }

    return send_and_return();
}

void Link::Send(const Packet& packet, std::uint8_t Response, std::int32_t WaitTime)
{
    Send_Reference(packet, Response, WaitTime);
}

void Link::Send_Reference(const Packet& packet, std::uint8_t& Response, std::int32_t& WaitTime)
{
    Entry guard(*s_);
    if (!Send_Packet(packet, Response, WaitTime) && WaitTime > 0 && !s_->write_failed)
        s_->host.raise_cError(0, s_->sak.xLate("No response from device"), s_->core.Last_Packet);
}

bool Link::Send_Acknowledged(const Packet& packet, std::int32_t WaitTime)
{
    State& s = *s_;
    Entry guard(s);
    auto attempt = [&] {
        std::uint8_t response = s.props.PID_Ack_Byte;
        std::int32_t wait = WaitTime;
        const bool acked = Send_Packet(packet, response, wait);
        return std::pair{acked, wait};
    };
    // Only a packet that went out and met silence is tried again (one that
    // could not go out has been reported); a host doing its own flow
    // control makes its own rules.
    auto silence = [&] { return s.serial() && s.port && s.port->PortOpen() && !s.write_failed && !UserFlowControl; };
    auto [acked, wait] = attempt();
    if (acked || !silence()) return acked;
    if (DebugLog) {
        const std::int32_t wait_ms = wait < 30 ? wait * 1000 : wait;
        s.host.raise_HexDebug(s.sak.xLate("Re-try after ") + std::to_string(wait_ms) + " ms");
    }
    if (attempt().first) return true;
    if (silence()) No_Response();
    return false;
}

void Link::No_Response()
{
    stop_timer();
    // A packet that never went out has been reported as such.
    if (s_->write_failed) return;
    s_->host.raise_cError(0, s_->sak.xLate("No response from device"), s_->core.Last_Packet);
}

// ---- receiving -----------------------------------------------------------

void Link::Serial_Input(std::string_view text)
{
    Entry guard(*s_);
    s_->stalled = false;
    if (s_->core.feed(text, s_->now_s())) s_->stalled = true;
}

void Link::comGarmin_OnComm()
{
    State& s = *s_;
    Entry guard(s);
    if (!s.port) return;
    s.port->set_RThreshold(0);
    if (s.port->CommEvent() > 1000) {
        // A line or buffer error: what is waiting cannot be trusted.
        s.port->ClearInput();
        s.core.clear_input();
    } else {
        // Everything waiting now; a partial frame stays buffered for the next event.
        while (s.port->PortOpen() && s.port->InBufferCount() > 0) Serial_Input(s.port->Input());
    }
    s.restore_threshold();
}

bool Link::Wait_Reply(std::uint8_t Response, std::int32_t& WaitTime)
{
    State& s = *s_;
    Entry guard(s);
    s.set_threshold(0);
    if (WaitTime < 1) WaitTime = time_out_;
    const std::int64_t span_us = WaitTime < 30 ? std::int64_t(WaitTime) * 1000000 : std::int64_t(WaitTime) * 1000;
    WaitRec w{Response};
    s.waits.push_back(&w);
    // Monotonic time, so a wait across midnight still lasts its span.
    std::int64_t start = s.pump.clock().now_us();
    auto input_waiting = [&] { return s.serial() && s.port && s.port->PortOpen() && s.port->InBufferCount() > 0; };
    for (;;) {
        // New input, or frames left behind a Receive held for a wait that has ended.
        if (input_waiting())
            Serial_Input(s.port->Input());
        else if (s.stalled)
            Serial_Input({});
        if (w.restart && !w.satisfied) {
            w.restart = false;  // a NAK: the re-sent packet gets a full wait
            start = s.pump.clock().now_us();
        }
        if (w.satisfied) break;
        if (s.pump.clock().now_us() >= start + span_us) break;
        s.pump.wait_until([&] { return w.satisfied || w.restart || s.stalled || input_waiting(); }, start + span_us);
    }
    s.waits.erase(std::find(s.waits.begin(), s.waits.end(), &w));
    if (!w.satisfied)
        s.host.raise_HexDebug("PC ** GPS " + s.sak.xLate("Time-out. expecting PID-&H") + Hex_Byte(Response));
    s.restore_threshold();
    return w.satisfied;
}

void Link::tmrTimeout_Timer()
{
    State& s = *s_;
    // A send still waiting for its packet to go out restarts the timer then.
    if (s.writing > 0) return;
    Entry guard(s);
    s.arriving();
    if (s.port && s.port->PortOpen()) s.port->ClearInput();
    if (s.core.tick(s.tmrTimeout->interval_ms(), s.now_s()) != LinkCore::Tick::Resend) return;
    Packet last = s.core.Last_Packet;
    std::uint8_t r = 0;
    std::int32_t w = 0;
    if (last[1] != s.props.PID_Ack_Byte) {
        r = s.core.Last_Response;
        w = s.core.Last_Wait;
    }
    Send_Packet(last, r, w);
}

// ---- USB -----------------------------------------------------------------

void Link::USB_Received(const Packet& packet, const std::vector<std::uint8_t>& usbpacket)
{
    State& s = *s_;
    Entry guard(s);
    const std::uint8_t type = usbpacket.empty() ? 0 : usbpacket[0];
    const unsigned id = usbpacket.size() >= 6 ? unsigned(usbpacket[4] | (usbpacket[5] << 8)) : 0;
    if (type == 20 && id != 27 && Counting_Records) return;
    if (type == 0 && id == 0) return;
    Debug_Line(usbpacket, "I");
    if (packet.size() > 1 && type == 20) {
        s.arriving();
        if (s.core.refused(packet, s.now_s())) return;
        s.receiving(packet, true);
        s.host.Dispatch_Packet(packet);
        s.decoding.pop_back();
        s.arriving();
    }
}

void Link::USB_Sent(const std::vector<std::uint8_t>& usbpacket) { Debug_Line(usbpacket, "O"); }

void Link::USB_Debug(const std::string& text) { Debug_Line(Packet(12, 0), text); }

void Link::USB_Error(std::int32_t errnum, const std::string& message) { s_->host.raise_uError(errnum, message); }

void Link::USB_IncomingPackage(std::int32_t numpackage) { s_->host.raise_USBprogress(numpackage); }

} // namespace brenvik
