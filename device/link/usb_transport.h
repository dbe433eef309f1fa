// The USB transport (Port 0): cUSB finds and opens the receiver, starts its
// session, turns Host_Packets into USB packets and writes them, reads the
// interrupt and bulk pipes and reports every application packet through its
// events. The link writes and reads through it as its UsbPath.
//
// One thread. A read that is already running makes a second read (a timer
// tick, a handler that lets events run) return false at once; Drain_Input
// then does nothing either, so it never takes packets from a running read.
#pragma once

#include "device/link/link.h"
#include "platform/events/events.h"
#include "platform/usb/usb_device.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace brenvik {

// cUSB's events, in the order the control sinks them.
class cUSB_Events {
public:
    virtual ~cUSB_Events() = default;
    // A packet as a Host_Packet, and as it came. Protocol-layer packets (USB
    // type 0) come here too; only application packets (type 20) are the
    // link's to dispatch and raise.
    virtual void USBReceived(const Packet& packet, const std::vector<std::uint8_t>& usbpacket) = 0;
    virtual void USBSent(const std::vector<std::uint8_t>& usbpacket) = 0;
    virtual void USBDebug(const std::string& Text) = 0;
    virtual void USBError(std::int32_t errnum, const std::string& message) = 0;
    virtual void USBIncomingPackage(std::int32_t numpackage) = 0;
    // A records transfer went silent for Time_Out before its transfer-complete
    // packet came (the device stopped or was unplugged).
    virtual void USBNoResponse() = 0;
};

class cUSB final : public UsbPath {
public:
    using Opener = std::function<platform::UsbOpenResult()>;

    // By default the device comes from platform::open_garmin_usb(pump).
    cUSB(platform::EventPump& pump, cUSB_Events& events);
    ~cUSB() override;
    cUSB(const cUSB&) = delete;
    cUSB& operator=(const cUSB&) = delete;

    // Where Open finds its device (tests hand in a fake).
    void set_opener(Opener opener) { opener_ = std::move(opener); }
    // The silence (ms) that ends a records transfer without its end; the
    // control's Time_Out.
    std::function<std::int32_t()> Time_Out = [] { return 2000; };

    bool Open();
    void Close();
    bool Start_Session();
    void Write_Packet(const Packet& Host, std::uint8_t Mode) override;
    bool Read_Interrupt(std::uint8_t Want) override;
    bool Read_Bulk(std::uint8_t Want);
    // One bulk transfer into buffer; true when bytes arrived (count in got).
    bool Read_Bulk_Piece(std::span<std::uint8_t> buffer, std::size_t& got);
    std::int32_t Drain_Input() override;
    bool Reset_Device();
    void SetLanguage(const std::string& lang) { language_ = lang; }

    // Non-zero while a device is open.
    std::int32_t USBHandle() const { return handle_; }
    bool reading() const { return interrupt_busy_ || bulk_busy_; }

    // Pieces and waits, as the driver works with them.
    static constexpr std::size_t Interrupt_Piece = 64;
    static constexpr std::size_t Bulk_Piece = 2112;
    static constexpr int Interrupt_Wait_ms = 80;
    static constexpr int Bulk_Wait_ms = 20;
    static constexpr int Write_Pause_ms = 50;
    static constexpr int Open_Attempts = 3;
    static constexpr std::uint8_t PID_Records = 27;
    static constexpr std::uint8_t PID_Xfer_Cmplt = 12;

private:
    void report(std::span<const std::uint8_t> usb, std::uint8_t Want, bool& got, std::uint16_t* last_id);
    platform::EventPump& pump_;
    cUSB_Events& events_;
    Opener opener_;
    std::unique_ptr<platform::UsbDevice> dev_;
    std::int32_t handle_ = 0;
    std::int32_t next_handle_ = 1;
    bool gone_ = false;   // the last transfer found the device unplugged
    bool interrupt_busy_ = false;
    bool bulk_busy_ = false;
    std::string language_;
    std::array<std::uint8_t, Bulk_Piece> bulk_buf_{};
};

// The control's two USB polling timers and its test method. Ticks do
// nothing unless port() is 0.
class UsbPollTimers {
public:
    UsbPollTimers(platform::EventPump& pump, cUSB& usb, std::function<std::int16_t()> port);
    // Enabled by Async_Start (1 ms) and Pvt_Data_Start (1000 ms).
    std::unique_ptr<platform::Timer> tmrAsync;
    std::unique_ptr<platform::Timer> tmrPVTData;
    void tmrAsync_Timer();
    void tmrPVTData_Timer();
    // "bulkread" empties the bulk input; anything else does nothing. Always 0.
    std::int32_t tf_test(const std::string& cmd);

private:
    cUSB& usb_;
    std::function<std::int16_t()> port_;
};

} // namespace brenvik
