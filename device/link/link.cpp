#include "device/link/link.h"

#include "device/link/detail/deframer.h"

#include <algorithm>
#include <cstdio>
#include <deque>

namespace brenvik {

using detail::DLE;
using detail::ETX;
using detail::Frame;
using detail::FrameStatus;

namespace {

std::string hex2(std::uint8_t b)
{
    static const char* digits = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 15]};
}

constexpr std::int32_t kMaxBadFrames = 5;
constexpr std::int16_t kMaxNmeaErrors = 50;

} // namespace

// A reply wait in progress; waits nest when host handlers call back in.
struct WaitRec {
    std::uint8_t response;
    bool satisfied = false;
    bool restart = false;
};

struct Link::State {
    State(platform::EventPump& pump, ProtocolProperties& props, cSAK& sak, LinkHost& host)
        : pump(pump), props(props), sak(sak), host(host)
    {
    }
    platform::EventPump& pump;
    ProtocolProperties& props;
    cSAK& sak;
    LinkHost& host;
    platform::CommPort* port = nullptr;
    UsbPath* usb = nullptr;
    std::unique_ptr<platform::Timer> tmrTimeout;

    detail::Deframer df;
    bool Text_Mode = false;
    std::uint64_t text_lines = 0;
    Packet Last_Packet;
    std::uint8_t Last_Response = 0;
    std::int32_t Last_Wait = 0;
    std::int32_t Retry_Count = 0;
    std::int32_t Bad_Frame_Count = 0;
    std::int16_t NMEA_Error_Count = 0;
    double Debug_Clock = 0;

    std::vector<WaitRec*> waits;
    int depth = 0;
    bool draining = false;
    std::deque<Packet> deferred;  // Receive events held until the link call unwinds
};

namespace {

// Counts nested entries into the link; when the outermost one returns, the
// Receive events held back meanwhile are raised, one after the other at this
// same stack depth.
class Entry {
public:
    Entry(Link::State& s, LinkHost& host) : s_(s), host_(host) { ++s_.depth; }
    ~Entry()
    {
        if (--s_.depth != 0 || s_.draining) return;
        s_.draining = true;
        while (!s_.deferred.empty()) {
            Packet p = std::move(s_.deferred.front());
            s_.deferred.pop_front();
            host_.raise_Receive(p);
        }
        s_.draining = false;
    }

private:
    Link::State& s_;
    LinkHost& host_;
};

} // namespace

Link::Link(platform::EventPump& pump, ProtocolProperties& props, cSAK& sak, LinkHost& host)
    : s_(std::make_unique<State>(pump, props, sak, host))
{
    s_->tmrTimeout = pump.make_timer();
    s_->tmrTimeout->on_timer([this] { tmrTimeout_Timer(); });
    stop_timer();
    s_->Debug_Clock = pump.clock().seconds_since_midnight();
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

// ---- small helpers -------------------------------------------------------

namespace {

void set_threshold(Link::State& s, int n)
{
    if (s.port) s.port->set_RThreshold(n);
}

// Threshold 0 while any reply wait polls the port, 1 otherwise.
void restore_threshold(Link::State& s) { set_threshold(s, s.waits.empty() ? 1 : 0); }

void write_serial(Link::State& s, const Packet& frame)
{
    if (s.props.Port == 0 || !s.port || !s.port->PortOpen()) return;
    s.port->Output(frame);
}

} // namespace

void Link::stop_timer()
{
    s_->tmrTimeout->set_enabled(false);
    s_->tmrTimeout->set_interval_ms(time_out_);
    s_->Retry_Count = 0;
}

void Link::clear_text_buffer() { s_->df.clear(); }
std::string Link::Text_Buffer() const { return std::string(s_->df.pending()); }
bool Link::Text_Mode() const { return s_->Text_Mode; }
std::uint64_t Link::text_lines_received() const { return s_->text_lines; }
const Packet& Link::Last_Packet() const { return s_->Last_Packet; }
std::int32_t Link::Retry_Count() const { return s_->Retry_Count; }
std::int32_t Link::Bad_Frame_Count() const { return s_->Bad_Frame_Count; }

// ---- pure functions ------------------------------------------------------

std::uint8_t Link::Packet_Checksum(const Packet& packet)
{
    // ID, size and data: indexes 1 up to the one before the checksum slot.
    if (packet.size() < 4) return 0;
    unsigned sum = 0;
    for (std::size_t i = 1; i + 3 < packet.size(); ++i) sum += packet[i];
    return static_cast<std::uint8_t>(-sum & 0xFF);
}

Packet Link::Stuff_Packet(const Packet& packet)
{
    Packet frame;
    if (packet.size() < 6) return frame;
    frame.reserve(packet.size() * 2);
    frame.push_back(DLE);
    frame.push_back(packet[1]);
    for (std::size_t i = 2; i + 2 < packet.size(); ++i) {
        frame.push_back(packet[i]);
        if (packet[i] == DLE) frame.push_back(DLE);
    }
    frame.push_back(DLE);
    frame.push_back(ETX);
    return frame;
}

std::string Link::NMEA_Checksum(std::string_view msg)
{
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < msg.size() && msg[i] != '*'; ++i) x ^= static_cast<std::uint8_t>(msg[i]);
    return hex2(x);
}

std::string Link::Bytes_To_Hex(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        out += hex2(b);
        out += ' ';
    }
    return out;
}

// ---- debug lines ---------------------------------------------------------

void Link::Debug_Line(const Packet& packet, std::string_view Direction)
{
    if (!DebugLog && !(Direction.size() && Direction[0] == ':')) return;
    State& s = *s_;
    double now = s.pump.clock().seconds_since_midnight();
    std::vector<std::uint8_t> dump;
    std::string timing;
    if (s.props.Port != 0) {
        dump = packet;
        double ms = (now - s.Debug_Clock) * 1000.0;
        if (ms < 0) ms += 86400.0 * 1000.0;
        char num[64];
        std::snprintf(num, sizeof num, "%.1f", ms);
        std::string padded = std::string(7, ' ') + num;
        timing = "(" + padded.substr(padded.size() - 7) + " ms) ";
    } else {
        std::size_t n = 0;
        if (packet.size() >= 12) {
            std::uint32_t size = packet[8] | (packet[9] << 8) | (packet[10] << 16) | (std::uint32_t(packet[11]) << 24);
            n = std::min<std::uint64_t>(std::uint64_t(size) + 12, packet.size());
        } else {
            n = packet.size();
        }
        dump.assign(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(n));
    }
    const std::string hex = Bytes_To_Hex(dump);
    const int id = packet.size() > 1 ? packet[1] : -1;
    const char first = Direction.empty() ? '\0' : Direction[0];
    const std::string from2(Direction.size() > 1 ? Direction.substr(1) : std::string_view{});
    const std::string from3(Direction.size() > 2 ? Direction.substr(2) : std::string_view{});
    std::string line;
    switch (first) {
    case 'I':
        line = "PC \u00AB- GPS " + timing + hex;
        if (id == 51) s.Debug_Clock = now;
        break;
    case 'X':
        line = "PCX\u00AB- GPS " + timing + hex;
        break;
    case 'O':
        line = "PC -\u00BB GPS " + hex + from3;
        if (id != 6 && id != 21) s.Debug_Clock = now;
        break;
    case '*':
        line = "PC * GPS " + timing + hex;
        break;
    case ':':
        line = "PC * GPS " + from2;
        break;
    case '!':
        line = "PC * GPS " + hex + " " + from2;
        s.Debug_Clock = now;
        break;
    default:
        line = "PC * GPS " + timing + "Error " + std::string(Direction);
        break;
    }
    s.host.raise_HexDebug(line);
}

// ---- sending -------------------------------------------------------------

namespace {

void rearm(Link::State& s, std::int16_t time_out, bool user_flow)
{
    s.tmrTimeout->set_enabled(false);
    s.tmrTimeout->set_interval_ms(time_out);
    if (!user_flow) s.tmrTimeout->set_enabled(true);
}

void stop(Link::State& s, std::int16_t time_out)
{
    s.tmrTimeout->set_enabled(false);
    s.tmrTimeout->set_interval_ms(time_out);
}

// An ACK or NAK for the packet ID `id`, checksum filled.
Packet ack_nak(std::uint8_t kind, std::uint8_t id)
{
    Packet p{DLE, kind, 2, id, 0, 0, DLE, ETX};
    p[5] = Link::Packet_Checksum(p);
    return p;
}

} // namespace

bool Link::Send_Packet(const Packet& packet, std::uint8_t& Response, std::int32_t& WaitTime)
{
    State& s = *s_;
    Entry guard(s, s.host);
    const ProtocolProperties& pr = s.props;
    if (packet.size() < 6) return false;  // not a Host_Packet: nothing to frame
    const bool serial = pr.Port != 0;
    set_threshold(s, 0);
    if (serial && s.port && !s.port->PortOpen()) s.port->Open();

    Packet pkt = packet;
    const std::size_t n = pkt.size();
    pkt[0] = DLE;
    pkt[n - 2] = DLE;
    pkt[n - 1] = ETX;
    pkt[n - 3] = Packet_Checksum(pkt);
    s.Last_Packet = pkt;
    s.Last_Response = Response;
    s.Last_Wait = WaitTime;

    const Packet frame = Stuff_Packet(pkt);
    if (DebugLog && serial) Debug_Line(frame, "O");

    const std::uint8_t id = pkt[1];
    const std::uint8_t cmd = pkt[3];
    if (id != pr.PID_Ack_Byte) rearm(s, time_out_, UserFlowControl);
    if ((id == pr.PID_Command_Data && (cmd == pr.CMND_Turn_Off_Pwr || cmd == pr.CMND_Stop_Pvt_Data)) ||
        id == pr.PID_Xfer_Cmplt || UserFlowControl) {
        stop(s, time_out_);
        s.Retry_Count = 0;
    }

    if (id == pr.PID_Ack_Byte || id == pr.PID_Nak_Byte) {
        if (serial) {
            write_serial(s, frame);
        } else if (s.usb) {
            stop(s, time_out_);
            s.usb->Write_Packet(pkt, 0);
            s.usb->Read_Interrupt(0);
        }
        restore_threshold(s);
        return true;
    }

    if (Response != 0) {
        stop(s, time_out_);
        s.Retry_Count = 0;
        if (serial) {
            write_serial(s, frame);
            if (Response == 2) {
                // Write_Only: the packet is out, which is all the caller asked for.
                Response = 0;
                restore_threshold(s);
                return true;
            }
            return Wait_Reply(Response, WaitTime);
        }
        if (!s.usb) return false;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            s.usb->Write_Packet(pkt, Response);
            if (Response == 2) return true;
            if (s.usb->Read_Interrupt(Response)) return true;
            if (attempt < 3) s.usb->Drain_Input();
        }
        s.host.raise_HexDebug("PC ** GPS " + s.sak.xLate("No Response to Command ") + hex2(id) + "/" + hex2(cmd) +
                              ", expecting PID-&H" + hex2(Response));
        return false;
    }

    if (serial) {
        write_serial(s, frame);
    } else if (s.usb) {
        stop(s, time_out_);
        s.usb->Write_Packet(pkt, 0);
        s.usb->Read_Interrupt(0);
    }
    restore_threshold(s);
    return true;
}

void Link::Send(const Packet& packet, std::uint8_t Response, std::int32_t WaitTime)
{
    Entry guard(*s_, s_->host);
    if (!Send_Packet(packet, Response, WaitTime) && WaitTime > 0)
        s_->host.raise_cError(0, s_->sak.xLate("No response from device"), s_->Last_Packet);
}

void Link::No_Response()
{
    stop_timer();
    s_->host.raise_cError(0, s_->sak.xLate("No response from device"), s_->Last_Packet);
}

// ---- receiving -----------------------------------------------------------

namespace {

// Raises Receive now, or holds it when it ends a wait (or others are held,
// to keep their order).
void raise_receive(Link::State& s, const Packet& p, bool ends_wait)
{
    if (ends_wait || !s.deferred.empty())
        s.deferred.push_back(p);
    else
        s.host.raise_Receive(p);
}

// Tells every active wait about an accepted frame; true when one was waiting for it.
bool notify_waits(Link::State& s, std::uint8_t id)
{
    bool ended = false;
    for (WaitRec* w : s.waits) {
        if (id == w->response && !w->satisfied) {
            w->satisfied = true;
            ended = true;
        }
        if (id == s.props.PID_Nak_Byte) w->restart = true;
    }
    return ended;
}

bool is_transfer_id(const ProtocolProperties& p, std::uint8_t id)
{
    return id == p.PID_Records || id == p.PID_Rte_Hdr || id == p.PID_Rte_Link || id == p.PID_Rte_Wpt_Data ||
           id == p.PID_Trk_Hdr || id == p.PID_Trk_Data || id == p.PID_Wpt_Data || id == p.PID_Prx_Wpt_Data ||
           id == p.PID_Flightbook_Record || id == p.PID_Lap || id == p.PID_Almanac_Data;
}

bool unacknowledged_id(const ProtocolProperties& p, std::uint8_t id)
{
    return id == p.PID_Pvt_Data || id == p.PID_Sats || id == p.PID_Display_Data;
}

} // namespace

// Handles one frame cut from the stream: the checks, the acknowledgement,
// the reply timer, the dispatch and the Receive event.
static void handle_frame(Link& link, Link::State& s, Frame& f, std::int16_t time_out)
{
    const ProtocolProperties& pr = s.props;
    if (f.status == FrameStatus::Empty || f.packet.size() < 2) return;
    Packet& pkt = f.packet;
    const std::uint8_t id = pkt[1];

    auto bad_frame = [&] {
        // A frame that failed its checks: NAK it (up to five in a row), then report.
        ++s.Bad_Frame_Count;
        if (s.Bad_Frame_Count <= kMaxBadFrames) {
            if (!unacknowledged_id(pr, id)) {
                if (link.UserFlowControl) {
                    s.Bad_Frame_Count = 0;
                } else {
                    Packet nak = ack_nak(pr.PID_Nak_Byte, id);
                    Packet frame = Link::Stuff_Packet(nak);
                    link.Debug_Line(frame, "O");
                    write_serial(s, frame);
                }
            }
        } else {
            s.Bad_Frame_Count = 0;
            s.host.raise_cError(3, s.sak.xLate("Invalid message received from device"), pkt);
        }
    };

    if (f.status != FrameStatus::Ok) {
        bad_frame();
        return;
    }

    link.Debug_Line(pkt, "I");
    const std::uint8_t data0 = pkt[3];
    if (id == pr.PID_Ack_Byte) {
        if (data0 != pr.PID_Command_Data) {
            stop(s, time_out);
            s.Retry_Count = 0;
        }
    } else if (id == pr.PID_Nak_Byte) {
        stop(s, time_out);
        s.Retry_Count = 0;
    } else if (is_transfer_id(pr, id)) {
        rearm(s, time_out, link.UserFlowControl);
        s.Retry_Count = 0;
    } else {
        stop(s, time_out);
        s.Retry_Count = 0;
    }

    if (id == pr.PID_Ack_Byte) {
        // An acknowledgement acknowledges whatever its checksum.
        s.Bad_Frame_Count = 0;
    } else if (id == pr.PID_Nak_Byte) {
        ++s.Bad_Frame_Count;
        if (s.Bad_Frame_Count <= kMaxBadFrames) {
            if (link.UserFlowControl) {
                s.Bad_Frame_Count = 0;
            } else if (s.Last_Packet.size() >= 6) {
                if (link.DebugLog) s.host.raise_HexDebug(s.sak.xLate("Re-try after NAK"));
                link.Debug_Line(s.Last_Packet, "O");
                Packet& last = s.Last_Packet;
                last[last.size() - 3] = Link::Packet_Checksum(last);
                write_serial(s, Link::Stuff_Packet(last));
                s.tmrTimeout->set_enabled(true);
            }
        } else {
            s.Bad_Frame_Count = 0;
            s.host.raise_cError(2, s.sak.xLate("Unable to communicate with device"), s.Last_Packet);
        }
    } else {
        if (pkt[pkt.size() - 3] != Link::Packet_Checksum(pkt)) {
            bad_frame();
            return;
        }
        s.Bad_Frame_Count = 0;
        const bool no_ack = unacknowledged_id(pr, id) || (id == pr.PID_Records && link.Counting_Records) ||
                            link.UserFlowControl;
        if (!no_ack) {
            Packet ack = ack_nak(pr.PID_Ack_Byte, id);
            s.Last_Packet = ack;
            Packet frame = Link::Stuff_Packet(ack);
            link.Debug_Line(frame, "O");
            write_serial(s, frame);
        }
        s.host.Dispatch_Packet(pkt);
    }

    const bool ended = notify_waits(s, id);
    if (!link.Counting_Records) raise_receive(s, pkt, ended);
}

namespace {

// One NMEA text step on the buffer; false when nothing could be done.
bool text_step(Link& link, Link::State& s, std::int16_t time_out)
{
    std::string_view buf = s.df.pending();
    if (buf.empty()) return false;
    std::size_t start = buf.find('$');
    const bool had_at = buf.find('@') != std::string_view::npos;
    if (start == std::string_view::npos) start = buf.find('@');
    if (start == std::string_view::npos) {
        std::size_t crlf = buf.find("\r\n");
        s.df.consume(crlf == std::string_view::npos ? buf.size() : crlf + 2);
        return true;
    }
    s.df.consume(start);
    buf = s.df.pending();
    std::size_t crlf = buf.find("\r\n");
    if (crlf == std::string_view::npos) {
        if (buf.size() < 83) return start > 0;
        s.df.consume(buf.size());  // an over-long line is lost
        return true;
    }
    s.Text_Mode = true;
    // Settings keeps the speed the port is open at.
    std::string sentence(buf.substr(0, crlf));
    s.df.consume(crlf + 2);
    ++s.text_lines;

    const std::string computed = Link::NMEA_Checksum(sentence);
    bool taken = false, match = false;
    if (!s.props.IgnoreCheckSum && !had_at && sentence.size() >= 3 && sentence[sentence.size() - 3] == '*') {
        taken = true;
        match = sentence.substr(sentence.size() - 2) == computed;
        if (!match && ++s.NMEA_Error_Count > kMaxNmeaErrors) {
            s.host.raise_cError(0,
                                s.sak.xLate("There have been more than 50 check sum errors") + "\r\n" +
                                    s.sak.xLate("Verify that your receiver is putting out check sums"),
                                Packet{});
            s.NMEA_Error_Count = 0;
        }
    }
    s.host.raise_NMEA(sentence, taken && match);
    rearm(s, time_out, link.UserFlowControl);
    s.Retry_Count = 0;
    return true;
}

} // namespace

// Works through the receive buffer: every complete frame and text line.
static void process_buffer(Link& link, Link::State& s, std::int16_t time_out)
{
    for (;;) {
        s.df.set_expanded_id(s.props.PID_Expanded_Packet);
        if (s.df.binary_pending()) {
            s.Text_Mode = false;
            Frame f;
            if (!s.df.next(f)) return;
            handle_frame(link, s, f, time_out);
            continue;
        }
        if (!text_step(link, s, time_out)) return;
    }
}

void Link::Serial_Input(std::string_view text)
{
    Entry guard(*s_, s_->host);
    s_->df.append(text);
    process_buffer(*this, *s_, time_out_);
}

void Link::comGarmin_OnComm()
{
    State& s = *s_;
    Entry guard(s, s.host);
    if (!s.port) return;
    s.port->set_RThreshold(0);
    const int ev = s.port->CommEvent();
    if (ev > 1000) {
        s.port->ClearInput();
        s.df.clear();
    } else {
        // Everything waiting now; a partial frame stays buffered for the next event.
        while (s.port->PortOpen() && s.port->InBufferCount() > 0) Serial_Input(s.port->Input());
    }
    restore_threshold(s);
}

bool Link::Wait_Reply(std::uint8_t Response, std::int32_t& WaitTime)
{
    State& s = *s_;
    Entry guard(s, s.host);
    set_threshold(s, 0);
    if (WaitTime < 1) WaitTime = time_out_;
    const std::int64_t span_us = WaitTime < 30 ? std::int64_t(WaitTime) * 1000000 : std::int64_t(WaitTime) * 1000;
    WaitRec w{Response};
    s.waits.push_back(&w);
    std::int64_t start = s.pump.clock().now_us();
    auto input_waiting = [&] {
        return s.props.Port != 0 && s.port && s.port->PortOpen() && s.port->InBufferCount() > 0;
    };
    for (;;) {
        if (input_waiting()) Serial_Input(s.port->Input());
        if (w.restart && !w.satisfied) {
            w.restart = false;
            start = s.pump.clock().now_us();
        }
        if (w.satisfied) break;
        if (s.pump.clock().now_us() >= start + span_us) break;
        s.pump.wait_until([&] { return w.satisfied || w.restart || input_waiting(); }, start + span_us);
    }
    s.waits.erase(std::find(s.waits.begin(), s.waits.end(), &w));
    if (!w.satisfied)
        s.host.raise_HexDebug("PC ** GPS " + s.sak.xLate("Time-out. expecting PID-&H") + hex2(Response));
    restore_threshold(s);
    return w.satisfied;
}

void Link::tmrTimeout_Timer()
{
    State& s = *s_;
    Entry guard(s, s.host);
    const std::int64_t interval = s.tmrTimeout->interval_ms();
    ++s.Retry_Count;
    if (s.port && s.port->PortOpen()) s.port->ClearInput();
    s.df.clear();
    if (s.Retry_Count > 1) {
        stop_timer();
        s.host.raise_cError(
            0, s.sak.xLate(s.Text_Mode ? "No longer receiving NMEA/TEXT data" : "No response from device"),
            s.Last_Packet);
        return;
    }
    if (s.Text_Mode) return;
    if (UserFlowControl) {
        s.Retry_Count = 0;
        return;
    }
    if (DebugLog) s.host.raise_HexDebug(s.sak.xLate("Re-try after ") + std::to_string(interval) + " ms");
    Packet last = s.Last_Packet;
    if (last.size() < 6) return;
    if (last[1] == s.props.PID_Ack_Byte) {
        std::uint8_t r = 0;
        std::int32_t w = 0;
        Send_Packet(last, r, w);
    } else {
        std::uint8_t r = s.Last_Response;
        std::int32_t w = s.Last_Wait;
        Send_Packet(last, r, w);
    }
}

// ---- USB -----------------------------------------------------------------

void Link::USB_Received(const Packet& packet, const std::vector<std::uint8_t>& usbpacket)
{
    State& s = *s_;
    Entry guard(s, s.host);
    const std::uint8_t type = usbpacket.empty() ? 0 : usbpacket[0];
    const unsigned id = usbpacket.size() >= 6 ? unsigned(usbpacket[4] | (usbpacket[5] << 8)) : 0;
    if (type == 20 && id != 27 && Counting_Records) return;
    if (type == 0 && id == 0) return;
    Debug_Line(usbpacket, "I");
    if (packet.size() > 1 && type == 20) {
        s.host.Dispatch_Packet(packet);
        raise_receive(s, packet, false);
    }
}

void Link::USB_Sent(const std::vector<std::uint8_t>& usbpacket) { Debug_Line(usbpacket, "O"); }

void Link::USB_Debug(const std::string& text) { Debug_Line(Packet(12, 0), text); }

void Link::USB_Error(std::int32_t errnum, const std::string& message) { s_->host.raise_uError(errnum, message); }

void Link::USB_IncomingPackage(std::int32_t numpackage) { s_->host.raise_USBprogress(numpackage); }

} // namespace brenvik
