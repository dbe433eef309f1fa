// Closes the program through its normal shut-down when SIGTERM or SIGINT
// arrives: the signal handler only writes a byte into a pipe; the event
// loop reads it and runs the close handler on the UI thread.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace app {

class SignalCloser : public QObject {
public:
    // Catches SIGTERM and SIGINT at once, so a signal that arrives while the
    // program is still starting waits in the pipe until the event loop runs.
    // SIGINT is caught even when the program was started with it ignored,
    // as a shell starts background jobs. Call first thing in main.
    static void catch_signals();

    // Hands the signals caught so far and later to `on_signal` from the
    // event loop (catching them first if that was not done). One instance
    // at a time.
    explicit SignalCloser(std::function<void(int signal)> on_signal, QObject* parent = nullptr);
    ~SignalCloser() override;

private:
    std::function<void(int)> on_signal_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace app
