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

using Packet = std::vector<std::uint8_t>;

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
    // A frame the link accepted (data with a good checksum, ACK, NAK): the
    // driver ends the waits for its ID and raises Receive when told to.
    virtual void accepted(const Packet& packet, bool raise_receive) = 0;
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

    // Received serial bytes: every complete frame and text line is handled.
    void feed(std::string_view bytes, double now_s);

    enum class Tick { Nothing, Resend };
    // A reply-timer tick; Resend: send Last_Packet again (with Last_Response
    // and Last_Wait, or as a plain ACK when it is one).
    Tick tick(std::int64_t interval_ms, double now_s);

    void debug_line(const Packet& packet, std::string_view Direction, double now_s);

    // State the driver and the control read.
    Deframer df;
    bool Text_Mode = false;
    std::uint64_t text_lines = 0;
    Packet Last_Packet;
    std::uint8_t Last_Response = 0;
    std::int32_t Last_Wait = 0;
    std::int32_t Retry_Count = 0;
    std::int32_t Bad_Frame_Count = 0;
    std::int16_t NMEA_Error_Count = 0;
    double Debug_Clock = 0;

    static std::uint8_t checksum(const Packet& packet);
    static Packet stuff(const Packet& packet);
    static std::string nmea_checksum(std::string_view msg);
    static std::string hex(const std::vector<std::uint8_t>& bytes);
    static std::string hex2(std::uint8_t b);

private:
    void handle_frame(Frame& f, double now_s);
    void bad_frame(const Packet& packet, std::uint8_t id, double now_s);
    bool text_step();
    ProtocolProperties& props_;
    cSAK& sak_;
    CoreFlags flags_;
    CoreOutput& out_;
};

} // namespace brenvik::detail
