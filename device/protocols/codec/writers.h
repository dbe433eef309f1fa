// Bounded little-endian field writers for the packets the host sends.
// A Host_Packet is [0] DLE, [1] ID, [2] data size N, [3..N+2] data,
// [N+3] checksum, [N+4] DLE, [N+5] ETX. The link writes the checksum when it
// sends; New_Packet leaves that slot 0 and puts DLE and ETX in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik {

using Packet = std::vector<std::uint8_t>;

// A zeroed packet of data_size + 6 bytes with its ID and size written.
Packet New_Packet(std::uint8_t id, std::uint8_t data_size);

// Writes fields at data offsets of one packet's data area. A field that does
// not fit wholly inside the data is not written and marks the writer failed.
class FieldWriter {
public:
    explicit FieldWriter(Packet& packet);

    void Byte(std::size_t offset, std::uint8_t value);
    void Int16(std::size_t offset, std::int16_t value);
    void Long(std::size_t offset, std::int32_t value);
    void Single(std::size_t offset, float value);
    void Double(std::size_t offset, double value);
    void Bytes(std::size_t offset, std::span<const std::uint8_t> bytes);
    // The bytes, cut or padded with blanks to exactly width bytes.
    void Fixed_Text(std::size_t offset, std::string_view bytes, std::size_t width);
    // The bytes and one NUL; returns the offset after the NUL.
    std::size_t Zero_Text(std::size_t offset, std::string_view bytes);

    std::size_t size() const { return data_.size(); }
    bool ok() const { return ok_; }

private:
    std::span<std::uint8_t> Field(std::size_t offset, std::size_t width);

    std::span<std::uint8_t> data_;
    bool ok_ = true;
};

// A record text as receiver bytes: UTF-8 to Windows-1252, upper-cased when
// asked. A text sent with a terminator is cut at its first NUL (the
// receiver's terminator); a fixed-width field keeps its bytes as they are,
// NULs included (a map point's subclass is binary).
std::string Device_Text(std::string_view utf8, bool upper, bool terminated = true);

} // namespace brenvik
