// The listening end of a local server (DDE topics, remote objects): takes
// connections of our own user up to a cap and pauses while the process is
// out of descriptors; and the bound on what all of a server's connections
// hold together of what their peers sent.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace platform {

class EventPump;
class Timer;

// Out of descriptors, a listener stops accepting until one of its
// connections closes or this much time has passed.
constexpr int kAcceptRetryMs = 250;

class Local_Listener {
public:
    // Listens at `path` (Listen_Local: a dead socket file there is
    // replaced). Each connection accepted goes to `take` while `open()`
    // counts fewer than `max`; past the cap a client is let in and closed at
    // once, so it learns at once that nobody will answer and the listen
    // queue does not fill. Needs a QCoreApplication.
    Local_Listener(EventPump& pump, std::string path, std::size_t max, std::function<std::size_t()> open,
                   std::function<void(int fd)> take);
    // Stops listening and removes the socket file (when it was ours).
    ~Local_Listener();
    Local_Listener(const Local_Listener&) = delete;
    Local_Listener& operator=(const Local_Listener&) = delete;
    // False when the path is held by a live server or cannot be bound.
    bool listening() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // A connection has closed: a descriptor is likely free again.
    void resume();
    // Whether new connections are taken (not while out of descriptors).
    bool accepting() const { return !paused_; }

private:
    void accept_one();
    void pause();
    EventPump& pump_;
    std::string path_;
    std::size_t max_;
    std::function<std::size_t()> open_;
    std::function<void(int)> take_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::unique_ptr<Timer> retry_;
    bool paused_ = false;
};

// Bytes that a server's connections hold of what their peers sent (lines
// or frames not yet handled), counted together against one bound. Each
// connection keeps its Share up to date; a share gives its bytes back when
// it goes. The bound may outlive the server (a connection kept by a proxy).
class Held_Bytes {
public:
    explicit Held_Bytes(std::size_t bound) : bound_(bound) {}
    std::size_t held() const { return held_; }

    class Share {
    public:
        explicit Share(std::shared_ptr<Held_Bytes> all = nullptr) : all_(std::move(all)) {}
        ~Share() { set(0); }
        Share(Share&& o) noexcept : all_(std::move(o.all_)), mine_(o.mine_) { o.mine_ = 0; }
        Share& operator=(Share&& o) noexcept
        {
            if (this != &o) {
                set(0);
                all_ = std::move(o.all_);
                mine_ = o.mine_;
                o.mine_ = 0;
            }
            return *this;
        }
        // Whether `more` bytes beside all held now stay within the bound
        // (always, without one).
        bool fits(std::size_t more) const
        {
            return !all_ || (all_->held_ <= all_->bound_ && more <= all_->bound_ - all_->held_);
        }
        // This connection now holds `now` bytes.
        void set(std::size_t now)
        {
            if (!all_) return;
            all_->held_ = all_->held_ - mine_ + now;
            mine_ = now;
        }

    private:
        std::shared_ptr<Held_Bytes> all_;
        std::size_t mine_ = 0;
    };

private:
    std::size_t bound_;
    std::size_t held_ = 0;
};

} // namespace platform
