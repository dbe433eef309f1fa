#include "platform/listener/listener.h"

#include "platform/events/events.h"
#include "platform/settings/user_folder.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace platform {

Local_Listener::Local_Listener(EventPump& pump, std::string path, std::size_t max, std::function<std::size_t()> open,
                               std::function<void(int fd)> take)
    : pump_(pump), path_(std::move(path)), max_(max), open_(std::move(open)), take_(std::move(take))
{
    fd_ = Listen_Local(path_);
    if (fd_ < 0) return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { accept_one(); });
    // Made now: out of descriptors is no time to make anything.
    retry_ = pump_.make_timer();
    retry_->set_interval_ms(kAcceptRetryMs);
    retry_->on_timer([this] { resume(); });
}

Local_Listener::~Local_Listener()
{
    if (fd_ < 0) return;
    retry_.reset();
    notifier_->setEnabled(false);
    delete notifier_;
    ::close(fd_);
    ::unlink(path_.c_str());
}

void Local_Listener::accept_one()
{
    errno = 0;
    const int fd = Accept_Local(fd_);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE) pause();
        return;
    }
    if (open_() >= max_) {
        ::close(fd);
        return;
    }
    take_(fd);
}

// The listener stays readable while accept fails for want of descriptors,
// so it is not watched until one is likely free again.
void Local_Listener::pause()
{
    if (paused_) return;
    paused_ = true;
    notifier_->setEnabled(false);
    retry_->set_enabled(true);
}

void Local_Listener::resume()
{
    if (!paused_) return;
    paused_ = false;
    retry_->set_enabled(false);
    notifier_->setEnabled(true);
}

} // namespace platform
