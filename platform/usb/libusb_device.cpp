// The real Garmin device on libusb-1.0.
//
// While we hold a device the kernel's own driver for it (garmin_gps, which
// turns it into a serial tty) is detached; it is attached again on close.
// Transfers are synchronous with the short time-outs the caller gives, so a
// read blocks at most that long.
#include "platform/usb/usb_device.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace platform {

namespace {

struct Endpoints {
    int interface = -1;
    int alt = 0;
    unsigned char bulk_in = 0, bulk_out = 0, interrupt_in = 0;
    int bulk_out_size = 64;
};

// The first interface with a bulk-in, a bulk-out and an interrupt-in endpoint.
bool find_endpoints(libusb_device* dev, Endpoints& ep)
{
    libusb_config_descriptor* cfg = nullptr;
    if (libusb_get_active_config_descriptor(dev, &cfg) != 0 &&
        libusb_get_config_descriptor(dev, 0, &cfg) != 0)
        return false;
    bool found = false;
    for (int i = 0; i < cfg->bNumInterfaces && !found; ++i) {
        const libusb_interface& itf = cfg->interface[i];
        for (int a = 0; a < itf.num_altsetting && !found; ++a) {
            const libusb_interface_descriptor& d = itf.altsetting[a];
            Endpoints e;
            e.interface = d.bInterfaceNumber;
            e.alt = d.bAlternateSetting;
            for (int k = 0; k < d.bNumEndpoints; ++k) {
                const libusb_endpoint_descriptor& x = d.endpoint[k];
                int kind = x.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
                bool in = (x.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
                if (kind == LIBUSB_TRANSFER_TYPE_BULK && in && !e.bulk_in) e.bulk_in = x.bEndpointAddress;
                if (kind == LIBUSB_TRANSFER_TYPE_BULK && !in && !e.bulk_out) {
                    e.bulk_out = x.bEndpointAddress;
                    e.bulk_out_size = std::max<int>(1, x.wMaxPacketSize & 0x7FF);
                }
                if (kind == LIBUSB_TRANSFER_TYPE_INTERRUPT && in && !e.interrupt_in)
                    e.interrupt_in = x.bEndpointAddress;
            }
            if (e.bulk_in && e.bulk_out && e.interrupt_in) {
                ep = e;
                found = true;
            }
        }
    }
    libusb_free_config_descriptor(cfg);
    return found;
}

UsbIo io_result(int rc, int transferred)
{
    if (rc == 0 || (rc == LIBUSB_ERROR_TIMEOUT && transferred > 0))
        return {UsbStatus::ok, static_cast<std::size_t>(transferred), 0};
    if (rc == LIBUSB_ERROR_TIMEOUT) return {UsbStatus::timeout, 0, rc};
    if (rc == LIBUSB_ERROR_NO_DEVICE) return {UsbStatus::no_device, 0, rc};
    return {UsbStatus::failed, static_cast<std::size_t>(std::max(transferred, 0)), rc};
}

bool transient(int rc)
{
    return rc == LIBUSB_ERROR_INTERRUPTED || rc == LIBUSB_ERROR_NO_MEM || rc == LIBUSB_ERROR_BUSY;
}

class LibusbDevice final : public UsbDevice {
public:
    LibusbDevice(libusb_context* ctx, libusb_device_handle* h, Endpoints ep, bool detached)
        : ctx_(ctx), h_(h), ep_(ep), detached_(detached)
    {
    }
    ~LibusbDevice() override
    {
        // Errors here cannot be reported; the device may already be gone.
        libusb_release_interface(h_, ep_.interface);
        if (detached_) libusb_attach_kernel_driver(h_, ep_.interface);
        libusb_close(h_);
        libusb_exit(ctx_);
    }

    std::uint32_t api_version() override
    {
        const libusb_version* v = libusb_get_version();
        return (static_cast<std::uint32_t>(v->major) << 16) | (v->minor << 8) | (v->micro & 0xFF);
    }
    std::uint32_t max_packet_size() override { return static_cast<std::uint32_t>(ep_.bulk_out_size); }

    UsbIo read_interrupt(std::span<std::uint8_t> buffer, int timeout_ms) override
    {
        int got = 0;
        int len = static_cast<int>(std::min(buffer.size(), Usb_Interrupt_Piece));
        int rc = libusb_interrupt_transfer(h_, ep_.interrupt_in, buffer.data(), len, &got, to_timeout(timeout_ms));
        return io_result(rc, got);
    }

    UsbIo read_bulk(std::span<std::uint8_t> buffer, int timeout_ms) override
    {
        int got = 0;
        int len = static_cast<int>(std::min<std::size_t>(buffer.size(), 1 << 20));
        int rc = libusb_bulk_transfer(h_, ep_.bulk_in, buffer.data(), len, &got, to_timeout(timeout_ms));
        return io_result(rc, got);
    }

    UsbIo write(std::span<const std::uint8_t> data, int timeout_ms) override
    {
        int sent = 0;
        // libusb takes a non-const buffer for both directions; it does not
        // write into an OUT buffer.
        auto* p = const_cast<unsigned char*>(data.data());
        int rc = libusb_bulk_transfer(h_, ep_.bulk_out, p, static_cast<int>(data.size()), &sent,
                                      to_timeout(timeout_ms));
        UsbIo r = io_result(rc, sent);
        if (r.ok() && !data.empty() && data.size() % static_cast<std::size_t>(ep_.bulk_out_size) == 0) {
            unsigned char none = 0;
            int zero = 0;
            int rz = libusb_bulk_transfer(h_, ep_.bulk_out, &none, 0, &zero, to_timeout(timeout_ms));
            if (rz != 0) return io_result(rz, 0);
        }
        return r;
    }

    void pause_after_write(int ms) override
    {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    bool reset() override
    {
        int rc = libusb_reset_device(h_);
        // NOT_FOUND: the device re-enumerated; it is found again by the next open.
        return rc == 0 || rc == LIBUSB_ERROR_NOT_FOUND;
    }

private:
    static unsigned to_timeout(int ms) { return ms > 0 ? static_cast<unsigned>(ms) : 1u; }
    libusb_context* ctx_;
    libusb_device_handle* h_;
    Endpoints ep_;
    bool detached_;
};

} // namespace

UsbOpenResult open_garmin_libusb()
{
    UsbOpenResult r;
    libusb_context* ctx = nullptr;
    int rc = libusb_init(&ctx);
    if (rc != 0) {
        r.failure = UsbOpenFailure::system;
        r.code = rc;
        r.transient = transient(rc);
        r.detail = libusb_error_name(rc);
        return r;
    }
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx, &list);
    if (n < 0) {
        r.failure = UsbOpenFailure::no_list;
        r.code = static_cast<int>(n);
        r.transient = transient(r.code);
        r.detail = libusb_error_name(r.code);
        libusb_exit(ctx);
        return r;
    }
    r.failure = UsbOpenFailure::not_found;
    r.code = LIBUSB_ERROR_NOT_FOUND;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0 || desc.idVendor != Garmin_Vendor_ID) continue;
        Endpoints ep;
        if (!find_endpoints(list[i], ep)) {
            if (r.failure == UsbOpenFailure::not_found) r.failure = UsbOpenFailure::no_interface;
            continue;
        }
        libusb_device_handle* h = nullptr;
        rc = libusb_open(list[i], &h);
        if (rc != 0) {
            r.failure = UsbOpenFailure::open;
            r.code = rc;
            r.detail = libusb_error_name(rc);
            continue;
        }
        bool detached = false;
        if (libusb_kernel_driver_active(h, ep.interface) == 1) {
            rc = libusb_detach_kernel_driver(h, ep.interface);
            if (rc != 0) {
                r.failure = UsbOpenFailure::open;
                r.code = rc;
                r.detail = std::string("detach: ") + libusb_error_name(rc);
                libusb_close(h);
                continue;
            }
            detached = true;
        }
        rc = libusb_claim_interface(h, ep.interface);
        if (rc == 0 && ep.alt != 0) rc = libusb_set_interface_alt_setting(h, ep.interface, ep.alt);
        if (rc != 0) {
            r.failure = UsbOpenFailure::open;
            r.code = rc;
            r.detail = std::string("claim: ") + libusb_error_name(rc);
            libusb_release_interface(h, ep.interface);
            if (detached) libusb_attach_kernel_driver(h, ep.interface);
            libusb_close(h);
            continue;
        }
        libusb_free_device_list(list, 1);
        UsbOpenResult ok;
        ok.device = std::make_unique<LibusbDevice>(ctx, h, ep, detached);
        return ok;
    }
    libusb_free_device_list(list, 1);
    libusb_exit(ctx);
    return r;
}

} // namespace platform
