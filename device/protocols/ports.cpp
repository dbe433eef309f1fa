// Opening, closing and resetting the link, and finding or changing the
// serial speed.
#include "device/protocols/detail/control.h"

#include <cmath>
#include <cstdlib>

namespace brenvik {

namespace {

// The leading number of a settings text ("4800,N,8,1" -> 4800).
std::int32_t leading_number(const std::string& s)
{
    return static_cast<std::int32_t>(std::strtol(s.c_str(), nullptr, 10));
}

std::string settings_for(std::int32_t baud) { return std::to_string(baud) + ",N,8,1"; }

// Two UARTs talk when their speeds differ by no more than this.
constexpr double Uart_Tolerance = 0.03;

} // namespace

void Control::WaitFor(std::int32_t d)
{
    // Seconds below 30, milliseconds from 30 up. The monotonic clock keeps a
    // wait across midnight as long as asked.
    std::int64_t us = d >= 30 ? std::int64_t(d) * 1000 : std::int64_t(d) * 1000000;
    if (us <= 0) {
        pump_.run_pending();
        return;
    }
    std::int64_t deadline = pump_.clock().now_us() + us;
    pump_.wait_until([] { return false; }, deadline);
}

bool Control::PortOpen()
{
    Unsupported_Reported = false;
    // Whatever the path, a count query's silence ends here.
    link_->Counting_Records = false;
    if (props_.Port == 0) {
        bool open = usb_->Open();
        if (open) {
            link_->set_usb(usb_->path());
            link_->stop_timer();
        }
        link_->clear_text_buffer();
        return open;
    }

    platform::SerialPort& port = *serial_;
    if (port.PortOpen()) port.Close();
    // A setting the port refuses keeps its previous value.
    port.set_RTSEnable(rts_enable_);
    port.set_DTREnable(dtr_enable_);
    port.set_Handshaking(static_cast<platform::Handshaking>(handshaking_));
    port.set_Settings(props_.Settings);
    port.set_CommPort(props_.Port);
    port.set_RThreshold(0);
    link_->set_serial(serial_.get());

    int rc = port.Open();
    if (rc == platform::comPortAlreadyOpen) {
        raise_cError(0, sak_.xLate("Port already open - ") + std::to_string(props_.Port), {});
        return false;
    }
    if (rc != 0 || !port.PortOpen()) {
        raise_cError(0, sak_.xLate("Unable to open port ") + std::to_string(props_.Port), {});
        return false;
    }
    WaitFor(50);
    link_->clear_text_buffer();
    port.ClearInput();
    port.set_RThreshold(1);
    return true;
}

void Control::PortClose()
{
    Unsupported_Reported = false;
    link_->stop_timer();
    if (props_.Port != 0) {
        if (serial_->PortOpen()) {
            serial_->set_RThreshold(0);
            serial_->ClearInput();
            serial_->Close();
        }
    } else {
        usb_->Close();
    }
    link_->clear_text_buffer();
}

void Control::Reset()
{
    Unsupported_Reported = false;
    Clear_Input();
    link_->stop_timer();
    if (!Send_Packet(Abort_Packet(), props_.PID_Ack_Byte, 4)) link_->No_Response();
}

std::int32_t Control::FindBaud(const std::string& isettings)
{
    Unsupported_Reported = false;
    PortClose();
    props_.Settings = isettings;
    if (!PortOpen()) return 0;

    bool found = Send_Packet(Abort_Packet(), props_.PID_Ack_Byte, 1);
    if (!found) {
        raise_HexDebug(sak_.xLate("Negotiating Baud Rate..."));
        for (const std::string& entry : baud_list_) {
            props_.Settings = entry;
            raise_HexDebug(sak_.xLate("Trying") + " - " + props_.Settings);
            if (!PortOpen()) return 0;
            const std::uint64_t lines_before = link_->text_lines_received();
            if (Send_Packet(Abort_Packet(), props_.PID_Ack_Byte, 500)) {
                found = true;
                break;
            }
            // A receiver that talks NMEA at this speed answers with text.
            const std::string pending = link_->Text_Buffer();
            if (link_->text_lines_received() != lines_before ||
                (pending.find('$') != std::string::npos && pending.find("\r\n") != std::string::npos)) {
                found = true;
                break;
            }
        }
    }
    if (!found) {
        raise_cError(0,
                     sak_.xLate("Can't determine present GPS baud rate.") + "\r\n" +
                         sak_.xLate("Power GPS off/on to reset to 9600,N,8,1"),
                     {});
        props_.Settings = "9600,N,8,1";
        return 0;
    }
    return leading_number(props_.Settings);
}

// Whether the serial port understands a settings text (speed, parity, bits)
// without touching the open port.
bool Control::port_can_take(const std::string& settings) const
{
    platform::SerialPort probe;
    return probe.set_Settings(settings) && probe.Settings() == settings;
}

bool Control::Change_Baud_Rate(std::int32_t Baud)
{
    Unsupported_Reported = false;
    const std::string kept = props_.Settings;
    // Ask the receiver only for a speed the port can open.
    if (Baud <= 0 || !port_can_take(settings_for(Baud))) return false;

    std::vector<std::uint8_t> data(4);
    for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(std::uint32_t(Baud) >> (8 * i));
    accepted_baud_ = 0;
    if (!Send_Packet(Make_Packet(props_.CMND_Change_Baud, data), props_.PID_Baud_Reply, 2)) return false;

    // The receiver says which speed it now uses; within UART tolerance of the
    // requested one it is that speed, otherwise the port follows the receiver.
    const std::int32_t accepted = accepted_baud_;
    if (accepted <= 0) return false;
    const bool as_requested = std::fabs(double(accepted) - double(Baud)) <= Uart_Tolerance * double(Baud);
    const std::string next = as_requested ? settings_for(Baud) : settings_for(accepted);
    const bool can_open = as_requested || port_can_take(next);

    PortClose();
    if (can_open) {
        props_.Settings = next;
        if (PortOpen()) {
            if (Send_Packet(Abort_Packet(), props_.PID_Ack_Byte, 2)) return as_requested;
            PortClose();
        }
    }
    props_.Settings = kept;
    PortOpen();
    return false;
}

} // namespace brenvik
