#include "platform/settings/user_folder.h"

#include <cerrno>
#include <chrono>
#include <sys/time.h>
#include <cstdio>
#include <mutex>
#include <set>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Tells once on stderr why a folder was refused: the link that needs it is
// then unavailable, and each later look would only say the same again.
void tell_refused(const std::string& path, const char* why)
{
    static std::mutex lock;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> hold(lock);
    if (told.insert(path).second)
        std::fprintf(stderr, "%s: folder %s refused: %s\n", program_invocation_short_name, path.c_str(), why);
}

// One folder of the private chain: made (mode 0700) when missing, then
// refused unless it is a directory of our own (not a link); write access
// for others on a folder of ours is taken away again.
bool own_folder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        tell_refused(path, std::strerror(errno));
        return false;
    }
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) {
        tell_refused(path, std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        tell_refused(path, "not a folder");
        return false;
    }
    if (st.st_uid != ::getuid()) {
        tell_refused(path, "owned by another user");
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) {
        tell_refused(path, std::strerror(errno));
        return false;
    }
    return true;
}

// Makes `base/rest` and refuses it unless every folder from `base` down is
// ours alone: a folder another user made or may write lets them move ours
// away and put their own in its place. Parents above `base` are only made
// when missing (mode 0755), as the environment may name a folder anywhere.
bool private_folder(const std::string& base, const std::string& rest)
{
    for (std::size_t i = 1; i < base.size(); ++i) {
        if (base[i] != '/') continue;
        if (::mkdir(base.substr(0, i).c_str(), 0755) != 0 && errno != EEXIST) {
            tell_refused(base, std::strerror(errno));
            return false;
        }
    }
    if (!own_folder(base)) return false;
    std::string path = base;
    std::size_t from = 0;
    while (from < rest.size()) {
        std::size_t slash = rest.find('/', from);
        if (slash == std::string::npos) slash = rest.size();
        if (slash > from) {
            path += "/" + rest.substr(from, slash - from);
            if (!own_folder(path)) return false;
        }
        from = slash + 1;
    }
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

// Connects within `ms` milliseconds; 0 or the error. A server whose listen
// queue is full makes connect() wait until it accepts someone: the send
// time-out bounds that wait in the kernel (it ends in EAGAIN), and the
// socket is left without a time-out afterwards.
int connect_within(int fd, const sockaddr_un& addr, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int err = 0;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            err = ETIMEDOUT;
            break;
        }
        timeval tv{static_cast<time_t>(left.count() / 1'000'000), static_cast<suseconds_t>(left.count() % 1'000'000)};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            err = 0;
            break;
        }
        err = errno;
        if (err != EINTR) break;
    }
    const timeval none{};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
    return err == EAGAIN ? ETIMEDOUT : err;
}

} // namespace

std::string Private_User_Folder(const char* variable, const std::string& leaf)
{
    // The per-user base and the folders below it that must all be ours.
    std::string base, rest;
    if (const char* d = std::getenv(variable); d && *d) base = d;
    else if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) base = std::string(r) + "/trekfold-" + leaf;
    else {
        const char* t = std::getenv("TMPDIR");
        base = std::string(t && *t ? t : "/tmp");
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        base += "/trekfold-" + std::to_string(::getuid());
        rest = leaf;
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (!private_folder(base, rest)) return {};
    return rest.empty() ? base : base + "/" + rest;
}

std::string Temp_Folder() { return Temp_Folder_In("/tmp"); }

std::string Temp_Folder_In(const std::string& system_tmp)
{
    if (const char* t = std::getenv("TMPDIR"); t && *t) {
        std::string dir = t;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    // Only a folder of our own, not a link someone else planted, will do.
    // Anyone may make our name in the shared folder first: the runtime
    // folder, ours alone, then takes its place.
    const std::string dir = system_tmp + "/trekfold-" + std::to_string(::getuid());
    if (own_folder(dir)) return dir;
    if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) {
        std::string base = r;
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        base += "/trekfold-tmp";
        if (private_folder(base, {})) return base;
    }
    return {};
}

int Connect_Local(const std::string& path)
{
    sockaddr_un addr{};
    if (!socket_address(path, addr)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect_within(fd, addr, kConnectTimeoutMs) != 0 || !same_user(fd)) {
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
        // Only a socket that refuses connections is dead: one whose server
        // does not take us in time (a full listen queue) is still held.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool dead = probe >= 0 && connect_within(probe, addr, kConnectTimeoutMs) == ECONNREFUSED;
        if (probe >= 0) ::close(probe);
        struct stat st{};
        if (!dead || ::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || ::unlink(path.c_str()) != 0 ||
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
        errno = EACCES;
        return -1;
    }
    return fd;
}

} // namespace platform
