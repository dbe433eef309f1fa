#include "platform/settings/user_folder.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Makes the folder (its parents as needed) and refuses one that is not a
// directory of our own; a folder others may enter is closed to them.
bool private_folder(const std::string& path)
{
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), i == path.size() ? 0700 : 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return false;
    return true;
}

bool same_user(int fd)
{
    struct ucred cred{};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid();
}

bool socket_address(const std::string& path, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

} // namespace

std::string Private_User_Folder(const char* variable, const std::string& leaf)
{
    std::string path;
    if (const char* d = std::getenv(variable); d && *d) path = d;
    else if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) path = std::string(r) + "/trekfold-" + leaf;
    else {
        const char* t = std::getenv("TMPDIR");
        path = std::string(t && *t ? t : "/tmp") + "/trekfold-" + std::to_string(::getuid()) + "/" + leaf;
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return private_folder(path) ? path : std::string();
}

std::string Temp_Folder()
{
    if (const char* t = std::getenv("TMPDIR"); t && *t) {
        std::string dir = t;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    const std::string dir = "/tmp/trekfold-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
    // Only a folder of our own, not a link someone else planted, will do.
    struct stat st{};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return {};
    if ((st.st_mode & 0777) != 0700) ::chmod(dir.c_str(), 0700);
    return dir;
}

int Connect_Local(const std::string& path)
{
    sockaddr_un addr{};
    if (!socket_address(path, addr)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int r;
    do r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    while (r != 0 && errno == EINTR);
    if (r != 0 || !same_user(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int Listen_Local(const std::string& path)
{
    sockaddr_un addr{};
    if (!socket_address(path, addr)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (probe >= 0) ::close(probe);
        struct stat st{};
        if (live || ::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || ::unlink(path.c_str()) != 0 ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return -1;
        }
    }
    if (::listen(fd, 16) != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return -1;
    }
    return fd;
}

int Accept_Local(int listen_fd)
{
    const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return -1;
    if (!same_user(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace platform
