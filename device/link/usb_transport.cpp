#include "device/link/usb_transport.h"

#include "device/link/usb_packet.h"

namespace brenvik {

namespace {

// Sets a busy flag for the length of a read.
class Busy {
public:
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& flag_;
};

bool is_data_available(std::span<const std::uint8_t> piece)
{
    auto h = usb::Read_Header(piece);
    return h && h->type == usb::Protocol_Layer && h->id == usb::Data_Available;
}

} // namespace

cUSB::cUSB(platform::EventPump& pump, cUSB_Events& events)
    : pump_(pump), events_(events), opener_([&pump] { return platform::open_garmin_usb(pump); })
{
}

cUSB::~cUSB() { Close(); }

bool cUSB::Open()
{
    Close();
    for (int attempt = 1; attempt <= Open_Attempts; ++attempt) {
        platform::UsbOpenResult r = opener_();
        if (r.device) {
            dev_ = std::move(r.device);
            handle_ = next_handle_++;
            if (next_handle_ <= 0) next_handle_ = 1;
            return true;
        }
        const char* text = "USBOpen: Garmin USB GPS device not found or device not turned on.";
        switch (r.failure) {
        case platform::UsbOpenFailure::system: text = "USBOpen:  SetupDiGetClassDevs Error "; break;
        case platform::UsbOpenFailure::no_list: text = "USBOpen: Garmin PNP Entry not found"; break;
        case platform::UsbOpenFailure::no_interface: text = "USBOpen: Unable to retrieve device path"; break;
        case platform::UsbOpenFailure::open:
        case platform::UsbOpenFailure::fake_script: text = "Unable to Open Device"; break;
        default: break;
        }
        if (r.failure == platform::UsbOpenFailure::fake_script) events_.USBDebug(":" + r.detail);
        events_.USBError(r.code, text);
        // Only a busy system is worth another look, and only a few times.
        if (!r.transient) break;
    }
    return false;
}

void cUSB::Close()
{
    // The handle's destructor cancels nothing pending (transfers are
    // synchronous) and gives the device back to the kernel's driver.
    dev_.reset();
    handle_ = 0;
}

bool cUSB::Start_Session()
{
    if (!dev_) return false;
    dev_->api_version();
    dev_->max_packet_size();
    Write_Packet(Packet{0, usb::Start_Session}, 0);
    if (!Read_Interrupt(1)) return false;
    Write_Packet(Packet{0, 16}, 0);
    return Read_Interrupt(17);
}

void cUSB::Write_Packet(const Packet& Host, std::uint8_t Mode)
{
    if (!dev_) return;
    auto usbpacket = usb::Usb_From_Host(Host);
    // A Host_Packet whose length fields claim more than it holds is not sent.
    if (!usbpacket) return;
    events_.USBSent(*usbpacket);
    if (!dev_) return;
    dev_->write(*usbpacket, Time_Out());
    if (Mode != 2 && dev_) dev_->pause_after_write(Write_Pause_ms);
}

void cUSB::report(std::span<const std::uint8_t> usbpacket, std::uint8_t Want, bool& got, std::uint16_t* last_id)
{
    auto h = usb::Read_Header(usbpacket);
    auto host = usb::Host_From_Usb(usbpacket);
    if (!h || !host) return;
    if (last_id) *last_id = h->id;
    if ((*host)[1] == Want) got = true;
    // Protocol-layer packets (session started and the like) go up too, so the
    // debug log shows them; the link never raises them as Receive.
    events_.USBReceived(*host, std::vector<std::uint8_t>(usbpacket.begin(), usbpacket.end()));
    pump_.run_pending();
}

bool cUSB::Read_Interrupt(std::uint8_t Want)
{
    if (interrupt_busy_) return false;
    if (Want == 6 || Want == 2) return true;
    if (Want == 1) Want = 6;
    if (!dev_) return false;
    Busy busy(interrupt_busy_);

    std::array<std::uint8_t, Interrupt_Piece> piece{};
    auto r = dev_->read_interrupt(piece, Interrupt_Wait_ms);
    if (!r.ok() || r.bytes == 0) return false;
    std::span<const std::uint8_t> first(piece.data(), r.bytes);
    if (is_data_available(first)) return Read_Bulk(Want);

    bool got = false;
    bool bulk_waiting = false;
    usb::Interrupt_Assembler assembler;
    for (;;) {
        std::span<const std::uint8_t> p(piece.data(), r.bytes);
        if (!assembler.collecting() && is_data_available(p)) {
            bulk_waiting = true;
        } else if (auto done = assembler.feed(p)) {
            report(*done, Want, got, nullptr);
        }
        if (!dev_) break;   // closed by a handler
        r = dev_->read_interrupt(piece, Interrupt_Wait_ms);
        if (!r.ok() || r.bytes == 0) break;
    }
    // Data announced behind other packets is read too, not left behind.
    if (bulk_waiting && dev_ && Read_Bulk(Want)) got = true;
    return Want == 0 || got;
}

bool cUSB::Read_Bulk_Piece(std::span<std::uint8_t> buffer, std::size_t& got)
{
    got = 0;
    if (!dev_) return false;
    auto r = dev_->read_bulk(buffer, Bulk_Wait_ms);
    gone_ = r.status == platform::UsbStatus::no_device;
    if (!r.ok()) return false;
    got = r.bytes;
    return got > 0;
}

bool cUSB::Read_Bulk(std::uint8_t Want)
{
    if (bulk_busy_ || !dev_) return false;
    Busy busy(bulk_busy_);
    auto& clock = pump_.clock();

    bool got = false;
    std::int32_t pieces = 0;
    std::uint16_t last_id = 0;
    std::int64_t last_data_us = clock.now_us();
    for (;;) {
        std::size_t n = 0;
        if (Read_Bulk_Piece(bulk_buf_, n)) {
            last_data_us = clock.now_us();
            if (++pieces % 100 == 0) events_.USBIncomingPackage(pieces);
            // Each packet goes on as soon as it is read; nothing is kept.
            report(std::span<const std::uint8_t>(bulk_buf_.data(), n), Want, got, &last_id);
            if (!dev_) break;
            continue;
        }
        // A records transfer runs until its transfer-complete packet, but a
        // device that falls silent for Time_Out (or is gone) ends it.
        if (Want != PID_Records || last_id == PID_Xfer_Cmplt || !dev_) break;
        std::int64_t silent_ms = (clock.now_us() - last_data_us) / 1000;
        if (gone_ || silent_ms >= Time_Out()) {
            events_.USBNoResponse();
            break;
        }
    }
    return Want == 0 || got;
}

std::int32_t cUSB::Drain_Input()
{
    if (interrupt_busy_ || bulk_busy_ || !dev_) return 0;
    Busy busy(bulk_busy_);
    // Bounded by time, so a device that never stops sending cannot hold us.
    auto& clock = pump_.clock();
    std::int64_t end_us = clock.now_us() + std::int64_t{Time_Out()} * 1000;
    std::size_t n = 0;
    while (Read_Bulk_Piece(bulk_buf_, n) && clock.now_us() < end_us) {
    }
    return 0;
}

bool cUSB::Reset_Device()
{
    bool reset_ok = dev_ && dev_->reset();
    Close();
    bool open_ok = Open();
    if (reset_ok && open_ok) {
        events_.USBDebug(":USB Device Reset");
        return true;
    }
    events_.USBError(0, "USBReset: USB Device failed to reset after error");
    return false;
}

UsbPollTimers::UsbPollTimers(platform::EventPump& pump, cUSB& usb, std::function<std::int16_t()> port)
    : tmrAsync(pump.make_timer()), tmrPVTData(pump.make_timer()), usb_(usb), port_(std::move(port))
{
    tmrAsync->on_timer([this] { tmrAsync_Timer(); });
    tmrPVTData->on_timer([this] { tmrPVTData_Timer(); });
}

void UsbPollTimers::tmrAsync_Timer()
{
    if (port_() == 0) usb_.Read_Interrupt(0);
}

void UsbPollTimers::tmrPVTData_Timer()
{
    if (port_() != 0) return;
    if (!usb_.Read_Interrupt(0)) usb_.Drain_Input();
}

std::int32_t UsbPollTimers::tf_test(const std::string& cmd)
{
    if (cmd == "bulkread") usb_.Drain_Input();
    return 0;
}

} // namespace brenvik
