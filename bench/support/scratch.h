// The scratch folder a bench writes into for the whole of its run (a folder
// for one benchmark alone is the tests' TempDir, tests/support/files.h).
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace benchsupport {

// "/tmp/tf-bench-<program>-XXXXXX", made on first use and removed when the
// program ends (children a bench forks leave by _exit and remove nothing).
inline const std::string& scratch()
{
    // The name outlives every destructor, for the removal at exit.
    static char name[256];
    static const std::string dir = [] {
        std::snprintf(name, sizeof name, "/tmp/tf-bench-%s-XXXXXX", program_invocation_short_name);
        if (!::mkdtemp(name)) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(name, ec);
        });
        return std::string(name);
    }();
    return dir;
}

// A file in the scratch folder.
inline std::string at(const std::string& name) { return scratch() + "/" + name; }

} // namespace benchsupport
