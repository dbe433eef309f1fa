// Folders the benches write into: one scratch folder for the whole run of
// a bench, and temporary folders that live as long as a benchmark needs.
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

// A folder of its own, named as the scratch folder is, removed with the
// object.
struct TempFolder {
    TempFolder()
    {
        std::string tmpl = std::string("/tmp/tf-bench-") + program_invocation_short_name + "-XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        path = tmpl;
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

} // namespace benchsupport
