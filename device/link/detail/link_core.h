// The link's rules without any I/O: bytes and the time go in; frames to
// write, reply-timer commands and events come out through CoreOutput. The
// driver (Link) owns the port, the timer and the waits.
#pragma once

#include "device/link/detail/deframer.h"
#include "device/link/properties.h"
#include "device/link/translate.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik::detail {

enum class TimerCmd {
    Rearm,   // disable, interval = Time_Out, enable unless the host does its own flow control
    Stop,    // disable, interval = Time_Out
    Enable,  // enable with the interval it has
};

class CoreOutput {
public:
    virtual ~CoreOutput() = default;
    virtual void write(const Packet& frame) = 0;  // serial only; nothing on USB
    virtual void timer(TimerCmd cmd) = 0;
    virtual void dispatch(const Packet& packet) = 0;
    // New input is about to raise an event: the Receive events the driver
    // holds go first, so the host sees them in the order the packets came.
    virtual void arriving() = 0;
    // A frame the link accepts (data with a good checksum, ACK, NAK), told
    // before its decoding: the driver holds its Receive (when it is to be
    // raised) while the decoders run.
    virtual void receiving(const Packet& packet, bool raise_receive) = 0;
    // The same frame once decoded: the driver ends the waits for its ID and
    // raises the Receive it holds. True when the frame ended a wait and its
    // Receive stays held until that wait's caller has returned; the core
    // then leaves the frames after it in the buffer.
    virtual bool accepted(const Packet& packet) = 0;
    virtual void cError(std::int16_t code, const std::string& message, const Packet& packet) = 0;
    virtual void hex_debug(const std::string& line) = 0;
    virtual void nmea(const std::string& sentence, bool chkerr) = 0;
};

// Flags the core reads from its driver.
struct CoreFlags {
    const bool& UserFlowControl;
    const bool& DebugLog;
    const bool& Counting_Records;
};

class LinkCore {
public:
    LinkCore(ProtocolProperties& props, cSAK& sak, CoreFlags flags, CoreOutput& out)
        : props_(props), sak_(sak), flags_(flags), out_(out)
    {
    }

    struct Outgoing {
        Packet packet;  // with DLE, checksum, DLE ETX written
        Packet frame;   // stuffed, for the serial port
    };
    // Frames a packet (at least 6 bytes), remembers it for re-sends and
    // applies the reply-timer rules of sending.
    Outgoing begin_send(const Packet& packet, std::uint8_t Response, std::int32_t WaitTime, double now_s);

    // Received serial bytes: every complete frame and text line is handled,
    // up to a frame that ends a wait (true: the rest stays buffered for the
    // next call).
    bool feed(std::string_view bytes, double now_s);

    enum class Tick { Nothing, Resend };
    // A reply-timer tick; Resend: send Last_Packet again (with Last_Response
    // and Last_Wait, or as a plain ACK when it is one).
    Tick tick(std::int64_t interval_ms, double now_s);

    void debug_line(const Packet& packet, std::string_view Direction, double now_s);

    // Drops every received byte not handled yet.
    void clear_input()
    {
        df.clear();
        Skipping = Skip::None;
    }

    // A data packet that came over USB: true when it belongs to a transfer
    // ended for sending too many records (this packet may end it).
    bool refused(const Packet& packet, double now_s);

    // State the driver and the control read.
    Deframer df;
    bool Text_Mode = false;
    // The rest of a lost line is being dropped: an over-long line through
    // its line end, a sentence that held line noise up to the next sentence
    // start or line end.
    enum class Skip { None, Line, Sentence };
    Skip Skipping = Skip::None;
    // The longest NMEA line taken, without its CR LF; longer lines are lost.
    static constexpr std::size_t kMaxSentence = 82;
    std::uint64_t text_lines = 0;
    Packet Last_Packet;
    std::uint8_t Last_Response = 0;
    std::int32_t Last_Wait = 0;
    std::int32_t Retry_Count = 0;
    std::int32_t Bad_Frame_Count = 0;
    std::int16_t NMEA_Error_Count = 0;
    double Debug_Clock = 0;
    // The receiver's side of a transfer: its last data packet (to know a
    // re-send after a lost acknowledgement), the records since the records
    // packet, and whether the transfer was ended for sending too many.
    Packet Last_Received;
    std::int32_t Transfer_Records = -1;  // -1: no records packet yet
    bool Transfer_Refused = false;

    // More records than the records packet announced by this many end the
    // transfer with an error.
    static constexpr std::int32_t kRecordsBeyondCount = 32767;

    static std::uint8_t checksum(const Packet& packet);
    static Packet stuff(const Packet& packet);
    static std::string nmea_checksum(std::string_view msg);

private:
    bool handle_frame(Frame& f, double now_s);
    void bad_frame(const Packet& packet, std::uint8_t id, double now_s);
    bool resent_record(const Packet& packet, double now_s);
    bool refuse_record(const Packet& packet, double now_s);
    void acknowledge(std::uint8_t id, double now_s);
    bool text_step(std::size_t limit);
    void skip_rest(std::string_view buf);
    ProtocolProperties& props_;
    cSAK& sak_;
    CoreFlags flags_;
    CoreOutput& out_;
};

} // namespace brenvik::detail
