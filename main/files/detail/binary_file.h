// A move-only handle on a file opened for byte-addressed access, with a
// current position for the writers that continue where the last one ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace files::detail {

class BinaryFile {
public:
    enum Mode { ReadOnly, ReadWrite, Create, Truncate };
    BinaryFile() = default;
    // Create makes the file when missing; Truncate empties it too.
    static BinaryFile open(const std::string& path, Mode mode);
    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    ~BinaryFile();

    bool is_open() const { return fd_ >= 0; }
    bool writable() const { return writable_; }
    const std::string& path() const { return path_; }
    void close();

    // The real length of the file; -1 when it cannot be told.
    std::int64_t size() const;
    // Reads exactly n bytes at offset; false when the file holds fewer.
    bool read_at(std::int64_t offset, void* data, size_t n) const;
    bool write_at(std::int64_t offset, const void* data, size_t n);
    bool write_at(std::int64_t offset, const std::vector<std::uint8_t>& bytes)
    {
        return write_at(offset, bytes.data(), bytes.size());
    }
    // The system error number of the first write that failed (0: none).
    int write_error() const { return write_error_; }
    // Writes at the current position and moves it on.
    bool put(const void* data, size_t n);
    bool put(const std::string& bytes) { return put(bytes.data(), bytes.size()); }
    void seek(std::int64_t offset) { pos_ = offset; }
    std::int64_t position() const { return pos_; }

private:
    int fd_ = -1;
    bool writable_ = false;
    std::int64_t pos_ = 0;
    int write_error_ = 0;
    std::string path_;
};

// Little- and big-endian numbers in and out of byte buffers.
inline std::uint32_t u32le(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint32_t u32be(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
inline void put_u32le(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
inline void put_u32be(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (24 - 8 * i));
}
double f64le(const std::uint8_t* p);
void put_f64le(std::uint8_t* p, double v);

} // namespace files::detail
