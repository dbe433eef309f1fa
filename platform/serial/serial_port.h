// An MSComm-like serial port on termios.
//
// CommPort is the face the device link talks to (a fake stands in for it in
// tests); SerialPort is the real port. Received bytes are read as text, one
// character per byte (codes 0 to 255), as MSComm's Input gives them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace platform {

// MSComm error numbers that callers tell apart.
inline constexpr int comPortInvalid = 8002;      // no such port / device path
inline constexpr int comPortAlreadyOpen = 8005;  // held by another process
inline constexpr int comPortOpenFailed = 8010;   // any other open failure
inline constexpr int comSettingsInvalid = 8009;  // Settings text not understood

// CommEvent values.
inline constexpr int comEvReceive = 2;
inline constexpr int comEventRxOver = 1006;  // receive buffer overflow (above 1000: an error)

enum class Handshaking { comNone = 0, comXOnXoff = 1, comRTS = 2, comRTSXOnXOff = 3 };

// How long `bytes` characters take on a line with these settings ("9600,N,8,1":
// a start bit, the data bits, the parity bit and the stop bits each); a text
// not understood counts as 9600,N,8,1.
std::int64_t Wire_Time_us(const std::string& settings, std::size_t bytes);

class CommPort {
public:
    virtual ~CommPort() = default;
    virtual bool PortOpen() const = 0;
    // Opens with the current settings; 0 or one of the error numbers above.
    virtual int Open() = 0;
    virtual void Close() = 0;
    // Queues bytes for sending and returns at once; what the line cannot
    // take yet goes out as it can. False when the port cannot take them
    // (closed, or the device refuses writes).
    virtual bool Output(std::span<const std::uint8_t> bytes) = 0;
    // Bytes not sent yet (queued here or in the driver).
    virtual int OutBufferCount() = 0;
    // OutBufferCount = 0: discards what has not gone out.
    virtual void ClearOutput() = 0;
    // All waiting bytes (empty when none or closed).
    virtual std::string Input() = 0;
    virtual int InBufferCount() = 0;
    // InBufferCount = 0: discards waiting input.
    virtual void ClearInput() = 0;
    // OnComm fires when at least RThreshold bytes wait; 0 switches it off.
    virtual int RThreshold() const = 0;
    virtual void set_RThreshold(int n) = 0;
    virtual int CommEvent() const = 0;
    virtual void set_OnComm(std::function<void()> handler) = 0;
};

// The real port. CommPort numbers map to device paths through a resolver the
// owner supplies (by default a PortMap without settings); a device path may
// also be set directly.
class SerialPort : public CommPort {
public:
    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void set_CommPort(int n) { comm_port_ = n; }
    int CommPort_() const { return comm_port_; }
    void set_resolver(std::function<std::string(int)> r) { resolver_ = std::move(r); }
    void set_device_path(std::string p) { device_path_ = std::move(p); }
    std::string device_path() const;

    // "9600,N,8,1": speed, parity (N, E, O, M, S), data bits (5-8), stop bits (1, 1.5, 2).
    // Returns false (and keeps the old text) when the text is not understood.
    // Applied at once to an open port.
    bool set_Settings(const std::string& s);
    const std::string& Settings() const { return settings_; }
    void set_Handshaking(Handshaking h);
    Handshaking Handshaking_() const { return handshaking_; }
    void set_RTSEnable(bool on);
    bool RTSEnable() const { return rts_; }
    void set_DTREnable(bool on);
    bool DTREnable() const { return dtr_; }
    // The speed the port runs at (from the driver), 0 when closed.
    std::int64_t actual_speed() const;

    bool PortOpen() const override;
    int Open() override;
    void Close() override;
    bool Output(std::span<const std::uint8_t> bytes) override;
    int OutBufferCount() override;
    void ClearOutput() override;
    std::string Input() override;
    int InBufferCount() override;
    void ClearInput() override;
    int RThreshold() const override { return rthreshold_; }
    void set_RThreshold(int n) override;
    int CommEvent() const override { return comm_event_; }
    void set_OnComm(std::function<void()> handler) override { on_comm_ = std::move(handler); }
    // The last system error of a failed Open (errno), for messages.
    int last_errno() const { return last_errno_; }

private:
    struct Impl;
    void apply_settings();
    void update_notifier();
    void notifier_activated();
    bool flush_output();
    std::unique_ptr<Impl> impl_;
    int comm_port_ = 1;
    std::function<std::string(int)> resolver_;
    std::string device_path_;
    std::string settings_ = "9600,N,8,1";
    Handshaking handshaking_ = Handshaking::comNone;
    bool rts_ = false;
    bool dtr_ = false;
    int rthreshold_ = 0;
    int comm_event_ = 0;
    int last_errno_ = 0;
    std::function<void()> on_comm_;
};

} // namespace platform
