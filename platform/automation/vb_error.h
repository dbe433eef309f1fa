// The error a procedure raises to its caller: a number, the source that raised it
// and its description, as the program's message boxes show them.
#pragma once

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

struct VbError : std::runtime_error {
    VbError(int number, std::string source, std::string description)
        : std::runtime_error(description), number(number), source(std::move(source)),
          description(std::move(description))
    {
    }
    int number;
    std::string source;
    std::string description;
};

// The run-time error a failed file operation raises, from the system's
// error number: a full disk, a file-size limit and a quota are all "Disk
// full"; an unknown number is "Path/File access error".
inline VbError FileError(int err, std::string source = {})
{
    switch (err) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return VbError(61, std::move(source), "Disk full");
    case EIO: return VbError(57, std::move(source), "Device I/O error");
    case ENOENT:
    case ENOTDIR: return VbError(76, std::move(source), "Path not found");
    case ENOMEM: return VbError(7, std::move(source), "Out of memory");
    case EMFILE:
    case ENFILE: return VbError(67, std::move(source), "Too many files");
    default: return VbError(75, std::move(source), "Path/File access error");
    }
}

// Result codes of automation calls, and the runtime error each becomes when
// it reaches a Basic caller.
inline constexpr std::uint32_t S_OK = 0;
inline constexpr std::uint32_t S_FALSE = 1;
inline constexpr std::uint32_t E_POINTER = 0x80004003u;
inline constexpr std::uint32_t E_OUTOFMEMORY = 0x8007000Eu;

// E_OUTOFMEMORY reaches callers as error 7 "Out of memory".
inline VbError OutOfMemory() { return VbError(7, "", "Out of memory"); }

} // namespace platform
