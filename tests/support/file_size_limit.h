// A full disk without root: work run in a child process (fork) whose file
// size limit (RLIMIT_FSIZE) is set, with SIGXFSZ ignored, so that every
// write past the limit fails with EFBIG as a write to a full disk fails.
//
// The child's state goes when it ends: `work` answers a text (what the
// test wants to check, such as the boxes shown) that comes back through a
// pipe, and the files it left are on disk for the parent to read. A child
// that does not end normally (a crash, an exception) throws in the parent.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

inline std::string with_file_size_limit(std::uint64_t bytes, const std::function<std::string()>& work)
{
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(bytes);
        int status = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? 0 : 3;
        std::string answer;
        try {
            if (status == 0) answer = work();
        } catch (const std::exception& e) {
            answer = std::string("exception in the limited child: ") + e.what();
            status = 4;
        } catch (...) {
            answer = "unknown exception in the limited child";
            status = 4;
        }
        for (std::size_t done = 0; done < answer.size();) {
            const ssize_t n = ::write(fds[1], answer.data() + done, answer.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += std::size_t(n);
        }
        ::close(fds[1]);
        ::_exit(status); // no exit handlers: they belong to the parent
    }
    ::close(fds[1]);
    std::string answer;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buf, std::size_t(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status))
        throw std::runtime_error("the limited child ended by signal " + std::to_string(WTERMSIG(status)));
    if (WEXITSTATUS(status) == 3) throw std::runtime_error("the limited child could not set its file size limit");
    if (WEXITSTATUS(status) != 0) throw std::runtime_error(answer);
    return answer;
}

} // namespace test_support
