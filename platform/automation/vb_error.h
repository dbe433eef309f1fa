// The error a procedure raises to its caller: a number, the source that raised it
// and its description, as the program's message boxes show them.
#pragma once

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

// Result codes of automation calls, and the runtime error each becomes when
// it reaches a Basic caller.
inline constexpr std::uint32_t S_OK = 0;
inline constexpr std::uint32_t S_FALSE = 1;
inline constexpr std::uint32_t E_POINTER = 0x80004003u;
inline constexpr std::uint32_t E_OUTOFMEMORY = 0x8007000Eu;

// E_OUTOFMEMORY reaches callers as error 7 "Out of memory".
inline VbError OutOfMemory() { return VbError(7, "", "Out of memory"); }

} // namespace platform
