#include "device/link/detail/link_core.h"

#include <algorithm>
#include <cstdio>

namespace brenvik::detail {

namespace {

constexpr std::int32_t kMaxBadFrames = 5;
constexpr std::int16_t kMaxNmeaErrors = 50;

bool is_transfer_id(const ProtocolProperties& p, std::uint8_t id)
{
    return id == p.PID_Records || id == p.PID_Rte_Hdr || id == p.PID_Rte_Link || id == p.PID_Rte_Wpt_Data ||
           id == p.PID_Trk_Hdr || id == p.PID_Trk_Data || id == p.PID_Wpt_Data || id == p.PID_Prx_Wpt_Data ||
           id == p.PID_Flightbook_Record || id == p.PID_Lap || id == p.PID_Almanac_Data;
}

// Packets the receiver streams without waiting for an answer.
bool unacknowledged_id(const ProtocolProperties& p, std::uint8_t id)
{
    return id == p.PID_Pvt_Data || id == p.PID_Sats || id == p.PID_Display_Data;
}

// An ACK or NAK for the packet ID `id`, checksum filled.
Packet ack_nak(std::uint8_t kind, std::uint8_t id)
{
    Packet p{DLE, kind, 2, id, 0, 0, DLE, ETX};
    p[5] = LinkCore::checksum(p);
    return p;
}

} // namespace

// ---- pure functions ------------------------------------------------------

std::string LinkCore::hex2(std::uint8_t b)
{
    static const char* digits = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 15]};
}

std::uint8_t LinkCore::checksum(const Packet& packet)
{
    // ID, size and data: indexes 1 up to the one before the checksum slot.
    if (packet.size() < 4) return 0;
    unsigned sum = 0;
    for (std::size_t i = 1; i + 3 < packet.size(); ++i) sum += packet[i];
    return static_cast<std::uint8_t>(-sum & 0xFF);
}

Packet LinkCore::stuff(const Packet& packet)
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

std::string LinkCore::nmea_checksum(std::string_view msg)
{
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < msg.size() && msg[i] != '*'; ++i) x ^= static_cast<std::uint8_t>(msg[i]);
    return hex2(x);
}

std::string LinkCore::hex(const std::vector<std::uint8_t>& bytes)
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

void LinkCore::debug_line(const Packet& packet, std::string_view Direction, double now)
{
    if (!flags_.DebugLog && !(Direction.size() && Direction[0] == ':')) return;
    std::vector<std::uint8_t> dump;
    std::string timing;
    if (props_.Port != 0) {
        dump = packet;
        double ms = (now - Debug_Clock) * 1000.0;
        if (ms < 0) ms += 86400.0 * 1000.0;  // the clock passed midnight
        char num[64];
        std::snprintf(num, sizeof num, "%.1f", ms);
        std::string padded = std::string(7, ' ') + num;
        timing = "(" + padded.substr(padded.size() - 7) + " ms) ";
    } else {
        // A USB packet: its 12-byte header and the data size it gives.
        std::size_t n = packet.size();
        if (packet.size() >= 12) {
            std::uint64_t size = packet[8] | (packet[9] << 8) | (packet[10] << 16) | (std::uint64_t(packet[11]) << 24);
            n = static_cast<std::size_t>(std::min<std::uint64_t>(size + 12, packet.size()));
        }
        dump.assign(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(n));
    }
    const std::string hexed = hex(dump);
    const int id = packet.size() > 1 ? packet[1] : -1;
    const char first = Direction.empty() ? '\0' : Direction[0];
    const std::string from2(Direction.size() > 1 ? Direction.substr(1) : std::string_view{});
    const std::string from3(Direction.size() > 2 ? Direction.substr(2) : std::string_view{});
    std::string line;
    switch (first) {
    case 'I':
        line = "PC \u00AB- GPS " + timing + hexed;
        if (id == 51) Debug_Clock = now;
        break;
    case 'X':
        line = "PCX\u00AB- GPS " + timing + hexed;
        break;
    case 'O':
        line = "PC -\u00BB GPS " + hexed + from3;
        if (id != 6 && id != 21) Debug_Clock = now;
        break;
    case '*':
        line = "PC * GPS " + timing + hexed;
        break;
    case ':':
        line = "PC * GPS " + from2;
        break;
    case '!':
        line = "PC * GPS " + hexed + " " + from2;
        Debug_Clock = now;
        break;
    default:
        line = "PC * GPS " + timing + "Error " + std::string(Direction);
        break;
    }
    out_.hex_debug(line);
}

// ---- sending -------------------------------------------------------------

LinkCore::Outgoing LinkCore::begin_send(const Packet& packet, std::uint8_t Response, std::int32_t WaitTime,
                                        double now)
{
    const ProtocolProperties& pr = props_;
    Outgoing o;
    o.packet = packet;
    const std::size_t n = o.packet.size();
    if (n < 6) return o;
    o.packet[0] = DLE;
    o.packet[n - 2] = DLE;
    o.packet[n - 1] = ETX;
    o.packet[n - 3] = checksum(o.packet);
    Last_Packet = o.packet;
    Last_Response = Response;
    Last_Wait = WaitTime;
    o.frame = stuff(o.packet);
    if (flags_.DebugLog && pr.Port != 0) debug_line(o.frame, "O", now);

    const std::uint8_t id = o.packet[1];
    const std::uint8_t cmd = o.packet[3];
    if (id != pr.PID_Ack_Byte) out_.timer(TimerCmd::Rearm);
    if ((id == pr.PID_Command_Data && (cmd == pr.CMND_Turn_Off_Pwr || cmd == pr.CMND_Stop_Pvt_Data)) ||
        id == pr.PID_Xfer_Cmplt || flags_.UserFlowControl) {
        out_.timer(TimerCmd::Stop);
        Retry_Count = 0;
    }
    return o;
}

// ---- receiving -----------------------------------------------------------

void LinkCore::bad_frame(const Packet& packet, std::uint8_t id, double now)
{
    // A frame that failed its checks: NAK it (up to five in a row), then report.
    ++Bad_Frame_Count;
    if (Bad_Frame_Count <= kMaxBadFrames) {
        if (unacknowledged_id(props_, id)) return;
        if (flags_.UserFlowControl) {
            Bad_Frame_Count = 0;
            return;
        }
        Packet frame = stuff(ack_nak(props_.PID_Nak_Byte, id));
        debug_line(frame, "O", now);
        out_.write(frame);
    } else {
        Bad_Frame_Count = 0;
        out_.cError(3, sak_.xLate("Invalid message received from device"), packet);
    }
}

void LinkCore::handle_frame(Frame& f, double now)
{
    const ProtocolProperties& pr = props_;
    // A frame cut short by the next frame start (or longer than any packet)
    // is line noise or a frame the receiver will send again: it is dropped
    // without a NAK, which could make the receiver repeat a packet already
    // acknowledged.
    if (f.status == FrameStatus::Empty || f.status == FrameStatus::Broken || f.packet.size() < 2) return;
    Packet& pkt = f.packet;
    const std::uint8_t id = pkt[1];
    if (f.status == FrameStatus::BadSize) {
        bad_frame(pkt, id, now);
        return;
    }

    debug_line(pkt, "I", now);
    const std::uint8_t data0 = pkt[3];
    if (id == pr.PID_Ack_Byte) {
        // An acknowledged command keeps the timer: its answer is still due.
        if (data0 != pr.PID_Command_Data) {
            out_.timer(TimerCmd::Stop);
            Retry_Count = 0;
        }
    } else if (is_transfer_id(pr, id)) {
        out_.timer(TimerCmd::Rearm);
        Retry_Count = 0;
    } else {
        out_.timer(TimerCmd::Stop);
        Retry_Count = 0;
    }

    if (id == pr.PID_Ack_Byte) {
        // An acknowledgement acknowledges whatever its checksum.
        Bad_Frame_Count = 0;
    } else if (id == pr.PID_Nak_Byte) {
        ++Bad_Frame_Count;
        if (Bad_Frame_Count <= kMaxBadFrames) {
            if (flags_.UserFlowControl) {
                Bad_Frame_Count = 0;
            } else if (Last_Packet.size() >= 6) {
                if (flags_.DebugLog) out_.hex_debug(sak_.xLate("Re-try after NAK"));
                debug_line(Last_Packet, "O", now);
                Last_Packet[Last_Packet.size() - 3] = checksum(Last_Packet);
                out_.write(stuff(Last_Packet));
                out_.timer(TimerCmd::Enable);
            }
        } else {
            Bad_Frame_Count = 0;
            out_.cError(2, sak_.xLate("Unable to communicate with device"), Last_Packet);
        }
    } else {
        if (pkt[pkt.size() - 3] != checksum(pkt)) {
            bad_frame(pkt, id, now);  // never dispatched, no Receive
            return;
        }
        Bad_Frame_Count = 0;
        const bool no_ack = unacknowledged_id(pr, id) || (id == pr.PID_Records && flags_.Counting_Records) ||
                            flags_.UserFlowControl;
        if (!no_ack) {
            Last_Packet = ack_nak(pr.PID_Ack_Byte, id);
            Packet frame = stuff(Last_Packet);
            debug_line(frame, "O", now);
            out_.write(frame);
        }
        // Decoders first, so the host reads the new record in its Receive.
        out_.dispatch(pkt);
    }
    out_.accepted(pkt, !flags_.Counting_Records);
}

// One NMEA text step on the buffer; false when nothing could be done.
bool LinkCore::text_step()
{
    std::string_view buf = df.pending();
    if (buf.empty()) return false;
    std::size_t start = buf.find('$');
    const bool had_at = buf.find('@') != std::string_view::npos;
    if (start == std::string_view::npos) start = buf.find('@');
    if (start == std::string_view::npos) {
        std::size_t crlf = buf.find("\r\n");
        df.consume(crlf == std::string_view::npos ? buf.size() : crlf + 2);
        return true;
    }
    df.consume(start);
    buf = df.pending();
    std::size_t crlf = buf.find("\r\n");
    if (crlf == std::string_view::npos) {
        if (buf.size() < 83) return start > 0;
        df.consume(buf.size());  // an over-long line is lost
        return true;
    }
    Text_Mode = true;
    // Settings keeps the speed the port is open at.
    std::string sentence(buf.substr(0, crlf));
    df.consume(crlf + 2);
    ++text_lines;

    const std::string computed = nmea_checksum(sentence);
    bool taken = false, match = false;
    if (!props_.IgnoreCheckSum && !had_at && sentence.size() >= 3 && sentence[sentence.size() - 3] == '*') {
        taken = true;
        match = sentence.substr(sentence.size() - 2) == computed;
        if (!match && ++NMEA_Error_Count > kMaxNmeaErrors) {
            out_.cError(0,
                        sak_.xLate("There have been more than 50 check sum errors") + "\r\n" +
                            sak_.xLate("Verify that your receiver is putting out check sums"),
                        Packet{});
            NMEA_Error_Count = 0;
        }
    }
    out_.nmea(sentence, taken && match);
    // In text mode the timer watches for the stream stopping.
    out_.timer(TimerCmd::Rearm);
    Retry_Count = 0;
    return true;
}

void LinkCore::feed(std::string_view bytes, double now)
{
    df.append(bytes);
    // Handlers may feed more bytes from inside (nested waits); each step
    // takes its frame or line from the shared buffer afresh.
    for (;;) {
        df.set_expanded_id(props_.PID_Expanded_Packet);
        if (df.binary_pending()) {
            Text_Mode = false;
            Frame f;
            if (!df.next(f)) return;
            handle_frame(f, now);
            continue;
        }
        if (!text_step()) return;
    }
}

LinkCore::Tick LinkCore::tick(std::int64_t interval_ms, double)
{
    ++Retry_Count;
    df.clear();
    if (Retry_Count > 1) {
        out_.timer(TimerCmd::Stop);
        Retry_Count = 0;
        out_.cError(0, sak_.xLate(Text_Mode ? "No longer receiving NMEA/TEXT data" : "No response from device"),
                    Last_Packet);
        return Tick::Nothing;
    }
    if (Text_Mode) return Tick::Nothing;
    if (flags_.UserFlowControl) {
        Retry_Count = 0;
        return Tick::Nothing;
    }
    if (flags_.DebugLog) out_.hex_debug(sak_.xLate("Re-try after ") + std::to_string(interval_ms) + " ms");
    return Last_Packet.size() >= 6 ? Tick::Resend : Tick::Nothing;
}

} // namespace brenvik::detail
