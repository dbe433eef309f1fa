// The control's link layer: frames packets, sends them over the serial port
// or hands them to the USB transport, acknowledges and checks what arrives,
// re-sends on NAK and on time-out, and recognises NMEA text lines.
//
// Packets here are Host_Packets: DLE, ID, size N, N data bytes, checksum,
// DLE, ETX (never stuffed). Packet IDs and command numbers are read from
// ProtocolProperties at the time of each send, so the L002 switch takes
// effect at once.
//
// Everything runs on one thread. Waits block on the EventPump with a
// deadline and let pending events (port, timers, host windows) run; host
// handlers may re-enter the control from inside them. Waits share one
// receive buffer, so a reply that an inner wait consumes still ends an outer
// wait for the same ID.
//
// Receive events reach the host in the order the frames arrived, each right
// after its frame was decoded and before the next frame is read, so the
// control's current record is the one that frame filled. The Receive of a
// frame that ends a wait is held (and the frames after it left in the
// buffer) until the waiting call has returned to the outermost link call,
// until a later call reads input, or (a host waiting on its own inside an
// event) until the loop's next turn: a host that sends its next record from the
// Receive of an acknowledgement keeps a constant stack depth however long
// the upload.
#pragma once

#include "device/link/packet.h"
#include "device/link/properties.h"
#include "device/link/translate.h"
#include "platform/events/events.h"
#include "platform/serial/serial_port.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik {

// What the link needs from the control that hosts it: the dispatcher, the
// control's events, and a message box.
class LinkHost {
public:
    virtual ~LinkHost() = default;
    // Hands a received, checked data packet to the decoders.
    virtual void Dispatch_Packet(const Packet& packet) = 0;
    virtual void raise_Receive(const Packet& packet) = 0;
    virtual void raise_cError(std::int16_t code, const std::string& message, const Packet& packet) = 0;
    virtual void raise_uError(std::int32_t errnum, const std::string& message) = 0;
    virtual void raise_HexDebug(const std::string& text) = 0;
    virtual void raise_NMEA(const std::string& sentence, bool chkerr) = 0;
    virtual void raise_USBprogress(std::int32_t numpackage) = 0;
    // A message box with an OK button (e.g. the Time_Out range note).
    virtual void show_message(const std::string& text) = 0;
};

// The USB transport (Port 0), implemented by cUSB. Received packets come
// back through Link::USB_Received and the other USB_ entry points.
class UsbPath {
public:
    virtual ~UsbPath() = default;
    // Writes a Host_Packet (or a protocol-layer packet); Mode 2 waits for the
    // write to complete.
    virtual void Write_Packet(const Packet& packet, std::uint8_t Mode) = 0;
    // Reads the interrupt pipe (and the bulk pipe when told data is there),
    // reporting each packet through Link::USB_Received. Want = the packet ID
    // awaited (0 any); true when Want is 0 or the wanted ID came. Returns
    // false at once when a read is already running.
    virtual bool Read_Interrupt(std::uint8_t Want) = 0;
    // Empties the device's bulk input; always 0.
    virtual std::int32_t Drain_Input() = 0;
};

class Link {
public:
    // All references must outlive the link.
    Link(platform::EventPump& pump, ProtocolProperties& props, cSAK& sak, LinkHost& host);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The serial port (used when Port > 0; the link installs its OnComm
    // handler) and the USB transport (Port 0). Either may be null.
    void set_serial(platform::CommPort* port);
    void set_usb(UsbPath* usb);

    // Properties owned by the link.
    bool UserFlowControl = false;
    bool DebugLog = false;
    std::int16_t Time_Out() const { return time_out_; }
    // 2000..5000 is stored; anything else stores 2000 and shows
    // xLate("Time out must be from 2000 to 5000 ms. Set to 2000 ms").
    void set_Time_Out(std::int16_t ms);
    // Set by Request_Counts, cleared by PortOpen and the request commands.
    bool Counting_Records = false;

    // Frames and sends one packet. Response: the packet ID awaited (0 none,
    // 2 Write_Only). WaitTime: seconds below 30, milliseconds from 30; 0 or
    // less means Time_Out and is written back when a wait takes place.
    // True: sent, and the awaited reply (if any) came. On serial the call
    // lets events run until the packet has gone out; one that cannot go out
    // by its time on the wire plus 2 s is dropped and reported as
    // cError 0 "Unable to write to port " & Port (false).
    bool Send_Packet(const Packet& packet, std::uint8_t& Response, std::int32_t& WaitTime);
    // The public Send: Send_Packet, and "No response from device" when it
    // fails with WaitTime above 0.
    void Send(const Packet& packet, std::uint8_t Response = 0, std::int32_t WaitTime = 0);
    // The same with the caller's variables (the host passes them by
    // reference): a wait of 0 or less comes back as Time_Out, a Write_Only
    // Response as 0.
    void Send_Reference(const Packet& packet, std::uint8_t& Response, std::int32_t& WaitTime);
    // Sends a packet the receiver must acknowledge and waits WaitTime (as
    // Send_Packet) for its ACK. On serial, a wait that ends without one
    // sends the packet again; when the second wait ends the same way,
    // cError 0 "No response from device" is raised, so the host's transfer
    // ends instead of waiting for an acknowledgement that never comes.
    // True when acknowledged (on USB: as Send_Packet says).
    bool Send_Acknowledged(const Packet& packet, std::int32_t WaitTime);
    // Waits for a frame with the ID Response (serial).
    bool Wait_Reply(std::uint8_t Response, std::int32_t& WaitTime);
    // Stops the reply timer and raises cError 0 "No response from device",
    // unless the last packet sent never went out (reported already).
    void No_Response();
    // Formats a debug line and raises HexDebug (see the Direction codes).
    void Debug_Line(const Packet& packet, std::string_view Direction);

    // Serial receive entry points: the port's OnComm handler, and one piece
    // of received text (bytes, one char each).
    void comGarmin_OnComm();
    void Serial_Input(std::string_view text);
    // The reply timer's tick.
    void tmrTimeout_Timer();

    // USB entry points (cUSB's events, sunk by the control).
    void USB_Received(const Packet& packet, const std::vector<std::uint8_t>& usbpacket);
    void USB_Sent(const std::vector<std::uint8_t>& usbpacket);
    void USB_Debug(const std::string& text);
    void USB_Error(std::int32_t errnum, const std::string& message);
    void USB_IncomingPackage(std::int32_t numpackage);

    // For PortOpen, PortClose, Reset, Change_Baud_Rate in the control.
    void stop_timer();          // disable, interval = Time_Out, Retry_Count = 0
    void clear_text_buffer();   // empty Text_Buffer (the receive buffer)
    std::string Text_Buffer() const;
    bool Text_Mode() const;
    // NMEA lines taken so far (FindBaud: did text arrive during a probe?).
    std::uint64_t text_lines_received() const;
    const Packet& Last_Packet() const;
    std::int32_t Retry_Count() const;
    std::int32_t Bad_Frame_Count() const;

    // Pure helpers.
    static std::uint8_t Packet_Checksum(const Packet& packet);
    static Packet Stuff_Packet(const Packet& packet);
    static std::string NMEA_Checksum(std::string_view msg);

    struct State;

private:
    std::unique_ptr<State> s_;
    std::int16_t time_out_ = 2000;
};

} // namespace brenvik
