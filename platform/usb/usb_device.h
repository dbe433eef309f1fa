// The receiver maker's USB driver, as the control uses it: a device handle
// with an interrupt read, a bulk read and a bulk write, the driver's API
// version and the maximum USB packet size.
//
// Garmin receivers are found by their vendor ID and an interface with a
// bulk-in, a bulk-out and an interrupt-in endpoint. With TREKFOLD_USB_FAKE
// naming a scenario file in the environment, enumeration returns the scripted
// fake device of fake_usb.h instead (so the control's USB paths run without
// hardware).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

class EventPump;

inline constexpr std::uint16_t Garmin_Vendor_ID = 0x091E;
inline constexpr std::size_t Usb_Interrupt_Piece = 64;

enum class UsbStatus {
    ok,
    timeout,     // nothing arrived within the time allowed
    no_device,   // unplugged
    failed,      // any other transfer error
};

struct UsbIo {
    UsbStatus status = UsbStatus::ok;
    std::size_t bytes = 0;
    int code = 0;   // the underlying error code (libusb's), 0 when none
    bool ok() const { return status == UsbStatus::ok; }
};

class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    UsbDevice() = default;
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    // The driver's API version and the maximum USB packet size of the bulk
    // endpoints (64 on full speed).
    virtual std::uint32_t api_version() = 0;
    virtual std::uint32_t max_packet_size() = 0;
    // One interrupt-in piece of up to 64 bytes (more room is not used).
    virtual UsbIo read_interrupt(std::span<std::uint8_t> buffer, int timeout_ms) = 0;
    // One bulk-in transfer of up to buffer.size() bytes.
    virtual UsbIo read_bulk(std::span<std::uint8_t> buffer, int timeout_ms) = 0;
    // A bulk-out write; a write that fills whole USB packets is followed by a
    // zero-length packet so the device sees its end. Returns when complete.
    virtual UsbIo write(std::span<const std::uint8_t> data, int timeout_ms) = 0;
    // The pause after a write whose completion the caller does not await.
    virtual void pause_after_write(int ms) = 0;
    // Resets the device (as a re-plug would); the handle may be unusable
    // afterwards and is closed by the caller.
    virtual bool reset() = 0;
};

// Why enumeration found no usable device.
enum class UsbOpenFailure {
    none,
    system,        // the USB system could not be reached
    no_list,       // the device list could not be read
    not_found,     // no Garmin device present
    no_interface,  // present, but no interface with the three endpoints
    open,          // present, but it could not be opened or claimed
    fake_script,   // TREKFOLD_USB_FAKE names a scenario that cannot be read
};

struct UsbOpenResult {
    std::unique_ptr<UsbDevice> device;
    UsbOpenFailure failure = UsbOpenFailure::none;
    int code = 0;            // the underlying error code
    bool transient = false;  // the system was busy; trying again may work
    std::string detail;      // extra words for a debug line
};

// Opens the first Garmin device, or the fake named by TREKFOLD_USB_FAKE.
// The pump paces the fake's reads; the real device does not use it.
UsbOpenResult open_garmin_usb(EventPump& pump);

// The real device only (ignores TREKFOLD_USB_FAKE).
UsbOpenResult open_garmin_libusb();

} // namespace platform
