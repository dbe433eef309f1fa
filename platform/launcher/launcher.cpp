#include "platform/launcher/launcher.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace platform {

std::vector<std::string> Open_Document_Command(const std::string& path) { return {"xdg-open", path}; }

bool System_Launcher::Start(const std::vector<std::string>& argv)
{
    if (argv.empty() || argv[0].empty()) return false;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // A session of its own, so it outlives us; a thread reaps it when it
    // ends, so it leaves no zombie and nobody waits for it.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int rc = posix_spawnp(&child, args[0], nullptr, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

} // namespace platform
