// Files in tests: whole-file reads and a folder of the test's own.
//
// A file that is missing or cannot be read throws an error that names it
// (GoogleTest fails the test with that text), so a lost data file never
// passes as an empty one.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace test_support {

// A new, empty folder under the temp folder ($TMPDIR, else /tmp), removed with
// everything in it at the end. Its name is unique, so tests running side by
// side (and two test runs at once) never share a file.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "trekfold-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a folder from " + pattern + ": " + std::strerror(errno));
        path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
};

inline std::string read_file(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw std::runtime_error("test file missing or not a regular file: " + path);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open test file " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw std::runtime_error("cannot read test file " + path);
    return text.str();
}

#ifdef TREKFOLD_TESTDATA_DIR
// A file of tests/data, by its path below that folder ("gpx/gdb-sample.gpx").
inline std::string read_test_data(const std::string& relative)
{
    return read_file(std::string(TREKFOLD_TESTDATA_DIR) + "/" + relative);
}
#endif

} // namespace test_support
