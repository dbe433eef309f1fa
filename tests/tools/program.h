// Runs a built tool from a shell command line, as a user would, and keeps
// its exit status, standard output and standard error.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace tools_test {

inline std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Ran {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out, err;
};

inline Ran Run_Program(const std::string& command_line)
{
    char dir[] = "/tmp/tool-run-XXXXXX";
    Ran r;
    if (!::mkdtemp(dir)) return r;
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
    // A generous limit: a hung tool fails the test instead of the run.
    const int rc = std::system(("timeout 300 " + command_line + " >" + out + " 2>" + err + " </dev/null").c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    ::unlink(out.c_str());
    ::unlink(err.c_str());
    ::rmdir(dir);
    return r;
}

} // namespace tools_test
