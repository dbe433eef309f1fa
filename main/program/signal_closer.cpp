#include "main/program/signal_closer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace app {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void on_signal(int sig)
{
    int saved = errno;
    unsigned char b = static_cast<unsigned char>(sig);
    if (g_pipe[1] >= 0) [[maybe_unused]] auto n = ::write(g_pipe[1], &b, 1);
    errno = saved;
}

} // namespace

void SignalCloser::catch_signals()
{
    if (g_pipe[0] >= 0) return;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    // sigaction replaces an inherited SIG_IGN as well.
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

SignalCloser::SignalCloser(std::function<void(int)> on_signal_fn, QObject* parent)
    : QObject(parent), on_signal_(std::move(on_signal_fn))
{
    catch_signals();
    if (g_pipe[0] < 0) return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char b = 0;
        while (::read(g_pipe[0], &b, 1) == 1)
            if (on_signal_) on_signal_(b);
    });
}

SignalCloser::~SignalCloser()
{
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    if (g_pipe[0] >= 0) ::close(g_pipe[0]);
    if (g_pipe[1] >= 0) ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

} // namespace app
