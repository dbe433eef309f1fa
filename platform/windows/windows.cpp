#include "platform/windows/windows.h"

#include "platform/settings/user_folder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::windows {

namespace {

// A decimal handle in 1..INT32_MAX with no sign, blank or leading zero.
bool parse_handle(std::string_view name, std::int32_t& out)
{
    if (name.empty() || name.size() > 10 || name[0] == '0') return false;
    long long v = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > INT32_MAX) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool read_small(const std::string& path, std::string& out);

// A process that has ended but whose parent has not yet reaped it (a
// zombie, state Z or X in /proc/<pid>/stat) still answers kill(pid, 0),
// yet it has no windows any more.
bool process_alive(std::int32_t pid)
{
    if (pid <= 0) return false;
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    std::string stat;
    if (!read_small("/proc/" + std::to_string(pid) + "/stat", stat)) return true;
    // "pid (comm) S ...": the command name may hold ")" itself.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return true;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X';
}

bool read_small(const std::string& path, std::string& out)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out.clear();
    char buf[1024];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > kMaxWindowFile) break;
    }
    ::close(fd);
    return out.size() <= kMaxWindowFile;
}

// The executable's name from /proc (the link's last part, " (deleted)"
// removed); the short command name (at most 15 characters) when the link
// cannot be read.
std::string executable_name(const std::string& proc_dir)
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink((proc_dir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        std::string path(buf, static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return path.substr(path.rfind('/') + 1);
    }
    std::string comm;
    if (!read_small(proc_dir + "/comm", comm)) return {};
    while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm;
}

bool write_window(const std::string& folder, const Window& w)
{
    const std::string target = folder + "/" + std::to_string(w.handle);
    const std::string temp = folder + "/.new-" + std::to_string(w.handle) + "-" + std::to_string(::getpid());
    // Made afresh, never through a link: a file left at the name (by a run
    // of ours that died, the process ID reused) is removed first.
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(temp.c_str(), flags, 0600);
    if (fd < 0 && errno == EEXIST && ::unlink(temp.c_str()) == 0) fd = ::open(temp.c_str(), flags, 0600);
    if (fd < 0) return false;
    const std::string text = Window_File_Text(w);
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

} // namespace

std::string Windows_Folder()
{
    return Private_User_Folder("TREKFOLD_WINDOWS_DIR", "windows");
}

std::optional<Window> Parse_Window_File(std::int32_t handle, std::string_view text)
{
    if (text.size() > kMaxWindowFile) return std::nullopt;
    std::string_view lines[3];
    for (int i = 0; i < 3; ++i) {
        std::size_t nl = text.find('\n');
        if (nl == std::string_view::npos) {
            if (i < 2) return std::nullopt;
            lines[i] = text;
            text = {};
        } else {
            lines[i] = text.substr(0, nl);
            text.remove_prefix(nl + 1);
        }
        if (!lines[i].empty() && lines[i].back() == '\r') lines[i].remove_suffix(1);
    }
    if (!text.empty()) return std::nullopt;
    Window w;
    w.handle = handle;
    if (!parse_handle(lines[0], w.pid)) return std::nullopt;
    w.window_class = std::string(lines[1]);
    w.title = std::string(lines[2]);
    return w;
}

std::string Window_File_Text(const Window& w)
{
    return std::to_string(w.pid) + "\n" + w.window_class + "\n" + w.title + "\n";
}

bool Is_Google_Earth_Program(std::string_view name)
{
    return name == "googleearth-bin" || name == "google-earth-pro" || name == "googleearth";
}

std::vector<Window> Top_Level_Windows()
{
    std::vector<Window> out;
    const std::string folder = Windows_Folder();
    if (!folder.empty()) {
        if (DIR* d = ::opendir(folder.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::int32_t handle = 0;
                if (!parse_handle(e->d_name, handle) || handle >= kProcessBase) continue;
                std::string text;
                if (!read_small(folder + "/" + e->d_name, text)) continue;
                std::optional<Window> w = Parse_Window_File(handle, text);
                if (w && process_alive(w->pid)) out.push_back(std::move(*w));
            }
            ::closedir(d);
        }
    }
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            std::int32_t pid = 0;
            if (!parse_handle(e->d_name, pid) || pid >= kProcessBase) continue;
            if (Is_Google_Earth_Program(executable_name(std::string("/proc/") + e->d_name)))
                out.push_back(Window{kProcessBase + pid, pid, "", "Google Earth"});
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end(), [](const Window& a, const Window& b) { return a.handle < b.handle; });
    return out;
}

std::int32_t Announce(const std::string& window_class, const std::string& title, std::int32_t handle, std::int32_t pid)
{
    const std::string folder = Windows_Folder();
    if (folder.empty()) return 0;
    if (window_class.find('\n') != std::string::npos || title.find('\n') != std::string::npos) return 0;
    Window w{handle, pid > 0 ? pid : static_cast<std::int32_t>(::getpid()), window_class, title};
    if (handle > 0) return write_window(folder, w) ? handle : 0;
    // Claim the next free handle by creating its file exclusively, so two
    // programs announcing at once never share one.
    for (std::int32_t h = kFirstAnnounced; h < kProcessBase; ++h) {
        const std::string path = folder + "/" + std::to_string(h);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                // A window of a process that has ended frees its handle.
                std::string text;
                if (read_small(path, text)) {
                    auto old = Parse_Window_File(h, text);
                    if (old && !process_alive(old->pid) && ::unlink(path.c_str()) == 0) --h;
                }
                continue;
            }
            return 0;
        }
        ::close(fd);
        w.handle = h;
        if (write_window(folder, w)) return h;
        ::unlink(path.c_str());
        return 0;
    }
    return 0;
}

bool Retitle(std::int32_t handle, const std::string& title)
{
    const std::string folder = Windows_Folder();
    if (folder.empty() || handle <= 0 || title.find('\n') != std::string::npos) return false;
    std::string text;
    if (!read_small(folder + "/" + std::to_string(handle), text)) return false;
    std::optional<Window> w = Parse_Window_File(handle, text);
    if (!w) return false;
    w->title = title;
    return write_window(folder, *w);
}

void Withdraw(std::int32_t handle)
{
    const std::string folder = Windows_Folder();
    if (!folder.empty() && handle > 0) ::unlink((folder + "/" + std::to_string(handle)).c_str());
}

bool SetWindowPos_Top(std::int32_t) { return true; }

} // namespace platform::windows
