// A scripted Garmin USB device for tests and for running the control without
// hardware. It answers session start, and whatever the scenario lists per
// request: packets on the interrupt pipe, or packets on the bulk pipe
// announced by a data-available packet. It records every write the host makes
// (zero-length packets included).
//
// Scenario JSON:
//   { "unit_id": 3456, "max_packet_size": 64, "session": true,
//     "rules": [
//       { "type": 20, "id": 254, "interrupt": [ {"id": 255, "data": "..."} ] },
//       { "id": 10, "command": 7, "delay_ms": 0,
//         "bulk": [ {"id": 27, "data": "0300"},
//                   {"id": 35, "data": "...", "repeat": 10000},
//                   {"id": 12, "data": "0700"} ] } ] }
// A packet: "type" (default 20), "id", "data" (hex, blanks allowed),
// "size" (a size field that differs from the data), "raw" (hex bytes sent
// as they are), "repeat". A rule: "type" (default 20), "id", "command" (the
// first data byte, when given), "times" (how often it answers, default
// always), "delay_ms". An expanded packet (icons, the unit name) travels
// with its expanded ID as its USB ID, so a rule with "id": 881 answers the
// host's 881 and a packet with "id": 887 arrives as expanded packet 887.
// Selected by TREKFOLD_USB_FAKE=<scenario file>; TREKFOLD_USB_FAKE_RECORD=<file>
// makes it append every write there as a line of hex.
#pragma once

#include "platform/usb/usb_device.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct FakeUsbPacket {
    std::uint8_t type = 20;
    std::uint16_t id = 0;
    std::vector<std::uint8_t> data;
    std::optional<std::uint32_t> size_field;
    std::vector<std::uint8_t> raw;
    std::uint32_t repeat = 1;
    // The packet as the device sends it.
    std::vector<std::uint8_t> bytes() const;
};

struct FakeUsbRule {
    std::uint8_t type = 20;
    std::uint16_t id = 0;
    std::optional<std::uint8_t> command;
    std::vector<FakeUsbPacket> interrupt;
    std::vector<FakeUsbPacket> bulk;
    int times = -1;
    int delay_ms = 0;
};

struct FakeUsbScenario {
    std::vector<FakeUsbRule> rules;
    bool session = true;     // answer start session (5 -> 6) and 16 -> 17
    std::uint32_t unit_id = 3456789012u;
    std::uint32_t max_packet_size = 64;
    std::uint32_t api_version = 0x0101;
    bool reset_ok = true;

    // Throws std::runtime_error with a readable reason.
    static FakeUsbScenario from_json(const std::string& text);
    static FakeUsbScenario load(const std::string& path);
};

// The device's state: what it will send and what it was sent. Shared by
// every FakeUsbDevice opened on it, so it survives a close and re-open.
class FakeUsbScript {
public:
    explicit FakeUsbScript(FakeUsbScenario scenario) : scenario(std::move(scenario)) {}

    FakeUsbScenario scenario;
    std::vector<std::vector<std::uint8_t>> writes;
    int opens = 0;
    int resets = 0;
    bool unplugged = false;   // every transfer then fails with no_device
    // When set, each write is also appended to this file as one line of hex
    // (an empty line for a zero-length packet).
    std::string record_path;

    // Queue packets to send (e.g. from a timed test action). `at_us` is the
    // pump time from which they can be read.
    void queue_interrupt(const FakeUsbPacket& p, std::int64_t at_us = 0);
    void queue_bulk(const FakeUsbPacket& p, std::int64_t at_us = 0);
    // Keeps one write (and appends it to record_path).
    void record(std::span<const std::uint8_t> written);
    // Answers one write as the scenario says.
    void answer(std::span<const std::uint8_t> written, std::int64_t now_us);
    bool interrupt_ready(std::int64_t now_us) const;
    bool bulk_ready(std::int64_t now_us) const;
    std::int64_t next_interrupt_us() const;
    std::int64_t next_bulk_us() const;
    std::size_t take_interrupt(std::span<std::uint8_t> out);
    std::size_t take_bulk(std::span<std::uint8_t> out);
    std::size_t queued_bulk_packets() const;

private:
    struct Entry {
        std::vector<std::uint8_t> bytes;
        std::uint32_t remaining = 1;
        std::size_t offset = 0;
        std::int64_t ready_us = 0;
    };
    std::deque<Entry> interrupt_;
    std::deque<Entry> bulk_;
    std::vector<int> used_;   // answers given per rule
};

class FakeUsbDevice final : public UsbDevice {
public:
    FakeUsbDevice(std::shared_ptr<FakeUsbScript> script, EventPump& pump);
    ~FakeUsbDevice() override = default;

    std::uint32_t api_version() override { return script_->scenario.api_version; }
    std::uint32_t max_packet_size() override { return script_->scenario.max_packet_size; }
    UsbIo read_interrupt(std::span<std::uint8_t> buffer, int timeout_ms) override;
    UsbIo read_bulk(std::span<std::uint8_t> buffer, int timeout_ms) override;
    UsbIo write(std::span<const std::uint8_t> data, int timeout_ms) override;
    void pause_after_write(int) override {}
    bool reset() override;

private:
    std::shared_ptr<FakeUsbScript> script_;
    EventPump& pump_;
};

} // namespace platform
