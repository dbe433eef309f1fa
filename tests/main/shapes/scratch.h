// Helpers of the shapefile and dBASE tests: a scratch folder, whole-file
// reads and writes, and the probe run as a separate program.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace shapes_test {

using Bytes = std::vector<std::uint8_t>;

class ScratchDir {
public:
    ScratchDir()
    {
        std::string t = (std::filesystem::temp_directory_path() / "shapes-XXXXXX").string();
        if (::mkdtemp(t.data())) path_ = t;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// Overwrites bytes inside a file.
inline void patch_file(const std::string& path, size_t at, const Bytes& b)
{
    Bytes f = read_file(path);
    std::copy(b.begin(), b.end(), f.begin() + std::ptrdiff_t(at));
    write_file(path, f);
}

inline void write_text(const std::string& path, const std::string& s) { std::ofstream(path, std::ios::binary) << s; }

struct Run {
    int exit = -1;
    std::string out;
};

// Runs a shell command line and collects its standard output.
inline Run run(const std::string& command)
{
    Run r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace shapes_test
