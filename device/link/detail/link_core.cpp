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

// A two-byte packet (an ACK or NAK for the packet ID `b0`, or a command),
// checksum filled.
Packet two_byte_packet(std::uint8_t id, std::uint8_t b0)
{
    Packet p{DLE, id, 2, b0, 0, 0, DLE, ETX};
    p[5] = LinkCore::checksum(p);
    return p;
}

// Packets of a transfer that a receiver never sends twice in a row, so that
// a second one byte for byte the same is its re-send after a lost
// acknowledgement: records and the transfer's end. Route points are left out
// (a route may pass one waypoint twice), and so are almanac records (absent
// satellites all read the same).
bool single_record_id(const ProtocolProperties& p, std::uint8_t id)
{
    return (is_transfer_id(p, id) || id == p.PID_Xfer_Cmplt) && id != p.PID_Rte_Wpt_Data && id != p.PID_Almanac_Data;
}

} // namespace

// ---- pure functions ------------------------------------------------------

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
    return Hex_Byte(x);
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
    const std::string hexed = Bytes_To_Hex(dump);
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
    if (id != pr.PID_Ack_Byte && id != pr.PID_Nak_Byte) {
        // The host starts something new: what the receiver sends next
        // belongs to a new transfer.
        Last_Received.clear();
        Transfer_Records = -1;
        Transfer_Refused = false;
    }
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
        Packet frame = stuff(two_byte_packet(props_.PID_Nak_Byte, id));
        debug_line(frame, "O", now);
        out_.write(frame);
    } else {
        Bad_Frame_Count = 0;
        out_.cError(3, sak_.xLate("Invalid message received from device"), packet);
    }
}

void LinkCore::acknowledge(std::uint8_t id, double now)
{
    Last_Packet = two_byte_packet(props_.PID_Ack_Byte, id);
    Packet frame = stuff(Last_Packet);
    debug_line(frame, "O", now);
    out_.write(frame);
}

bool LinkCore::resent_record(const Packet& pkt, double now)
{
    const bool resent = single_record_id(props_, pkt[1]) && pkt == Last_Received;
    Last_Received = pkt;
    if (!resent) return false;
    // Acknowledged again (the receiver missed the first one) and dropped
    // before any decoder or event sees it.
    acknowledge(pkt[1], now);
    out_.hex_debug("PC * GPS " + sak_.xLate("Repeated packet acknowledged and dropped") + ": " + Bytes_To_Hex(pkt));
    return true;
}

bool LinkCore::refuse_record(const Packet& pkt, double now)
{
    const ProtocolProperties& pr = props_;
    const std::uint8_t id = pkt[1];
    if (id == pr.PID_Records) {
        Transfer_Records = 0;
        return false;
    }
    if (id == pr.PID_Xfer_Cmplt) Transfer_Records = -1;
    if (Transfer_Records < 0 || !is_transfer_id(pr, id)) return false;
    const std::int32_t announced = static_cast<std::uint16_t>(pr.Incoming_Records_Count);
    if (++Transfer_Records <= announced + kRecordsBeyondCount) return false;
    // A receiver that does not stop: end the transfer (tell it to stop, drop
    // whatever more it sends) rather than collect records without end.
    Transfer_Refused = true;
    Transfer_Records = -1;
    out_.timer(TimerCmd::Stop);
    Retry_Count = 0;
    Packet abort = stuff(two_byte_packet(pr.PID_Command_Data, pr.CMND_Reset_Transfer));
    debug_line(abort, "O", now);
    out_.write(abort);
    out_.cError(0, sak_.xLate("Too many records received from device"), pkt);
    return true;
}

bool LinkCore::refused(const Packet& pkt, double now)
{
    if (pkt.size() < 2) return false;
    if (Transfer_Refused && (is_transfer_id(props_, pkt[1]) || pkt[1] == props_.PID_Xfer_Cmplt)) return true;
    return refuse_record(pkt, now);
}

bool LinkCore::handle_frame(Frame& f, double now)
{
    const ProtocolProperties& pr = props_;
    // A frame cut short by the next frame start (or longer than any packet)
    // is line noise or a frame the receiver will send again: it is dropped
    // without a NAK, which could make the receiver repeat a packet already
    // acknowledged.
    if (f.status == FrameStatus::Empty || f.status == FrameStatus::Broken || f.packet.size() < 2) return false;
    Packet& pkt = f.packet;
    const std::uint8_t id = pkt[1];
    const bool ack_or_nak = id == pr.PID_Ack_Byte || id == pr.PID_Nak_Byte;
    // An ACK or NAK is taken for what its ID says whichever of its other
    // bytes was damaged (checksum, data or size): it is never NAKed itself.
    if (f.status == FrameStatus::BadSize && !ack_or_nak) {
        bad_frame(pkt, id, now);
        return false;
    }
    // What follows a refused transfer is dropped unseen.
    if (Transfer_Refused && (is_transfer_id(pr, id) || id == pr.PID_Xfer_Cmplt)) return false;

    debug_line(pkt, "I", now);
    const std::uint8_t data0 = pkt.size() > 3 ? pkt[3] : 0;
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
            return false;
        }
        Bad_Frame_Count = 0;
        const bool no_ack = unacknowledged_id(pr, id) || (id == pr.PID_Records && flags_.Counting_Records) ||
                            flags_.UserFlowControl;
        if (!no_ack && resent_record(pkt, now)) return false;
        if (refuse_record(pkt, now)) return false;
        if (!no_ack) acknowledge(id, now);
        // Decoders first, so the host reads the new record in its Receive.
        out_.receiving(pkt, !flags_.Counting_Records);
        out_.dispatch(pkt);
        return out_.accepted(pkt);
    }
    out_.receiving(pkt, !flags_.Counting_Records);
    return out_.accepted(pkt);
}

// One NMEA text step on the first `limit` bytes of the buffer (the text
// ahead of a DLE, or all of it); false when nothing could be done there.
bool LinkCore::text_step(std::size_t limit)
{
    std::string_view buf = df.pending().substr(0, limit);
    if (buf.empty()) return false;
    if (Skipping != Skip::None) {
        skip_rest(buf);
        return true;
    }
    std::size_t start = buf.find('$');
    const bool had_at = buf.find('@') != std::string_view::npos;
    if (start == std::string_view::npos) start = buf.find('@');
    if (start == std::string_view::npos) {
        std::size_t crlf = buf.find("\r\n");
        df.consume(crlf == std::string_view::npos ? buf.size() : crlf + 2);
        return true;
    }
    df.consume(start);
    buf = df.pending().substr(0, limit - start);
    std::size_t crlf = buf.find("\r\n");
    if (crlf == std::string_view::npos) {
        // What is known of the line so far (a CR at the end may be the
        // start of its CR LF).
        const std::size_t known = buf.size() - (!buf.empty() && buf.back() == '\r' ? 1 : 0);
        if (known <= kMaxSentence) return start > 0;
        // An over-long line is lost, whatever the reads that bring it:
        // the rest of it is dropped when it comes.
        df.consume(buf.size());
        Skipping = Skip::Line;
        return true;
    }
    if (crlf > kMaxSentence) {
        df.consume(crlf + 2);
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

void LinkCore::skip_rest(std::string_view buf)
{
    // A lost line is dropped through its line end; the rest of a sentence
    // that held line noise up to the next sentence start as well.
    const std::size_t at = buf.find_first_of(Skipping == Skip::Line ? "\r\n" : "$!\r\n");
    if (at == std::string_view::npos) {
        df.consume(buf.size());
        return;
    }
    Skipping = Skip::None;
    if (buf[at] == '$' || buf[at] == '!')
        df.consume(at);
    else
        df.consume(at + (buf[at] == '\r' && at + 1 < buf.size() && buf[at + 1] == '\n' ? 2 : 1));
}

bool LinkCore::feed(std::string_view bytes, double now)
{
    df.append(bytes);
    // Handlers may feed more bytes from inside (nested waits); each step
    // takes its frame or line from the shared buffer afresh.
    for (;;) {
        if (df.pending().empty()) return false;
        // Receive events held back go out before anything newer is read.
        out_.arriving();
        df.set_expanded_id(props_.PID_Expanded_Packet);
        if (!df.frame_open()) {
            const std::size_t dle = df.find_dle();
            if (dle == std::string_view::npos) {
                if (!text_step(df.pending().size())) return false;
                continue;
            }
            // Whole lines ahead of a DLE are delivered first.
            if (dle > 0 && text_step(dle)) continue;
            Skipping = Skip::None;
            df.set_text_stream(Text_Mode);
        }
        Frame f;
        if (!df.next(f)) return false;
        if (f.status == FrameStatus::Noise) {
            // The DLE began no frame: the rest of its sentence goes too.
            Skipping = Skip::Sentence;
            skip_rest(df.pending());
            continue;
        }
        Text_Mode = false;
        if (handle_frame(f, now)) return true;
    }
}

LinkCore::Tick LinkCore::tick(std::int64_t interval_ms, double)
{
    ++Retry_Count;
    clear_input();
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
