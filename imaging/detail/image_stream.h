// One reader/writer over a file or a memory block, as every codec uses it.
// Read zero-fills its buffer first; from memory it succeeds with 0 bytes
// exactly at the end and fails past it. Seek is absolute and fails at or
// past the end (seeking to the very end fails). Writes go to an owned
// block that grows in steps of 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace glimmerax {

class ImageStream {
public:
    ImageStream() = default;
    ~ImageStream() { Close(); }
    ImageStream(const ImageStream&) = delete;
    ImageStream& operator=(const ImageStream&) = delete;

    bool OpenFile(const std::string& name);
    void OpenMemory(const std::uint8_t* data, std::size_t size);
    void CreateMemory();
    bool Read(void* buffer, std::uint32_t count, std::uint32_t* got);
    bool Seek(std::uint64_t position);
    bool Write(const void* data, std::size_t count);
    std::uint64_t Size() const { return size_; }
    std::uint64_t Position() const { return position_; }
    void Close();
    bool IsOpen() const { return fd_ >= 0 || memory_ || owned_; }
    // The owned output block.
    const std::vector<std::uint8_t>& Output() const { return out_; }

    // Reads exactly count bytes, or fails.
    bool ReadFull(void* buffer, std::uint32_t count)
    {
        std::uint32_t got = 0;
        return Read(buffer, count, &got) && got == count;
    }

private:
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    const std::uint8_t* data_ = nullptr;
    int fd_ = -1;
    bool memory_ = false;
    bool owned_ = false;
    std::vector<std::uint8_t> out_;
};

// Writes a file beside the target and renames it over the target, so a
// failed write leaves the old file; with `append` the old contents come first.
bool SaveFile(const std::string& name, const std::uint8_t* data, std::size_t size, bool append = false);

} // namespace glimmerax
