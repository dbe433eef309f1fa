// File versions. The build writes a note into each of our binaries (the
// ELF section ".note.trekfold.version": an ELF note named "Trekfold" whose
// two 32-bit words are the version's major << 16 | minor and
// third << 16 | fourth); File_Version reads it back from a file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

using Version = std::array<std::uint16_t, 4>; // major, minor, third, fourth

// The version note of an ELF file; nullopt when there is no file, it is no
// ELF file, or it holds no such note.
std::optional<Version> File_Version(const std::string& path);

} // namespace platform
