#include "platform/version/version.h"

#include <cstring>
#include <fstream>
#include <vector>

namespace platform {

namespace {

// Section headers and notes are read with bounds checked against the file.
struct Bytes {
    std::vector<unsigned char> b;
    bool has(std::uint64_t off, std::uint64_t n) const { return off <= b.size() && n <= b.size() - off; }
    std::uint64_t le(std::uint64_t off, int width) const
    {
        std::uint64_t v = 0;
        for (int k = width - 1; k >= 0; --k) v = v << 8 | b[off + std::uint64_t(k)];
        return v;
    }
};

constexpr const char kSection[] = ".note.trekfold.version";
constexpr const char kName[] = "Trekfold";
// A binary larger than this is not ours.
constexpr std::uint64_t kMaxFile = 512ull << 20;

} // namespace

std::optional<Version> File_Version(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const auto size = static_cast<std::uint64_t>(in.tellg());
    if (size < 64 || size > kMaxFile) return std::nullopt;
    Bytes f;
    f.b.resize(size);
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(f.b.data()), std::streamsize(size))) return std::nullopt;
    // 64-bit little-endian ELF only: the only kind we build.
    if (std::memcmp(f.b.data(), "\x7f" "ELF", 4) != 0 || f.b[4] != 2 || f.b[5] != 1) return std::nullopt;
    const std::uint64_t shoff = f.le(0x28, 8), shentsize = f.le(0x3A, 2), shnum = f.le(0x3C, 2),
                        shstrndx = f.le(0x3E, 2);
    if (shentsize < 64 || shstrndx >= shnum || shnum > 65535) return std::nullopt;
    if (!f.has(shoff, shnum * shentsize)) return std::nullopt;
    auto header = [&](std::uint64_t i) { return shoff + i * shentsize; };
    const std::uint64_t strtab = f.le(header(shstrndx) + 0x18, 8), strsize = f.le(header(shstrndx) + 0x20, 8);
    if (!f.has(strtab, strsize)) return std::nullopt;
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const std::uint64_t name = f.le(header(i), 4);
        if (name >= strsize || strsize - name < sizeof kSection) continue;
        if (std::memcmp(&f.b[strtab + name], kSection, sizeof kSection) != 0) continue;
        const std::uint64_t off = f.le(header(i) + 0x18, 8), len = f.le(header(i) + 0x20, 8);
        // namesz, descsz, type, the name padded to 4 bytes, the two words.
        if (len < 12 + 12 + 8 || !f.has(off, len)) return std::nullopt;
        if (f.le(off, 4) != sizeof kName || f.le(off + 4, 4) != 8) return std::nullopt;
        if (std::memcmp(&f.b[off + 12], kName, sizeof kName) != 0) return std::nullopt;
        const auto ms = static_cast<std::uint32_t>(f.le(off + 24, 4)), ls = static_cast<std::uint32_t>(f.le(off + 28, 4));
        return Version{std::uint16_t(ms >> 16), std::uint16_t(ms), std::uint16_t(ls >> 16), std::uint16_t(ls)};
    }
    return std::nullopt;
}

} // namespace platform
