// Voltages and NMEA sending.
#include "device/protocols/codec/decode.h"
#include "device/protocols/detail/control.h"
#include "platform/automation/vb_error.h"

namespace brenvik {

namespace {
constexpr std::uint8_t kCommand_Voltages = 17;
// MSComm's error for output to a closed port.
constexpr int kPortNotOpen = 8018;
} // namespace

void Control::Request_Voltages()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    if (!Send_Packet(Command_Packet(kCommand_Voltages), props_.PID_Voltages, 500)) link_->No_Response();
}

void Control::Decode_Voltages(const Packet& packet) { *store_.Voltages = brenvik::Decode_Voltages(packet); }

// Completes the sentence with its checksum (unless a "*" already stands
// inside it) and writes it to the serial port, whatever Port says. A
// failure (the port closed) goes to the caller.
void Control::NMEA_Send(std::string& message)
{
    Unsupported_Reported = false;
    const std::size_t star = message.find('*');
    if (star == std::string::npos)
        message += "*" + NMEA_Checksum(message);
    else if (star + 1 == message.size())
        message += NMEA_Checksum(message);
    // The port queues what it takes and returns at once (send threshold 0:
    // no event when the bytes have gone).
    const std::string line = message + "\r\n";
    if (!serial_->Output({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()}))
        throw platform::VbError(kPortNotOpen, "NMEA_Send", "Operation valid only when the port is open");
}

} // namespace brenvik
