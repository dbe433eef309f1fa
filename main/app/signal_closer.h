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
    // Installs the handlers for SIGTERM and SIGINT. One instance at a time.
    explicit SignalCloser(std::function<void(int signal)> on_signal, QObject* parent = nullptr);
    ~SignalCloser() override;

private:
    std::function<void(int)> on_signal_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace app
