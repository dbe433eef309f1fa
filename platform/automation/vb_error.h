// The error a procedure raises to its caller: a number, the source that raised it
// and its description, as the program's message boxes show them.
#pragma once

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

} // namespace platform
