#include "platform/events/events.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <ctime>

namespace platform {
namespace {

class SteadyClock : public Clock {
public:
    std::int64_t now_us() const override
    {
        using namespace std::chrono;
        return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    }
    double seconds_since_midnight() const override
    {
        using namespace std::chrono;
        auto now = system_clock::now();
        std::time_t t = system_clock::to_time_t(now);
        std::tm tm{};
        localtime_r(&t, &tm);
        double frac = duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000 / 1e6;
        return tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + frac;
    }
};

class QtTimer : public Timer {
public:
    QtTimer()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto h = handler_; // the handler may delete this timer
            if (h) h();
        });
    }
    void set_interval_ms(std::int64_t ms) override
    {
        interval_ = ms;
        timer_.setInterval(static_cast<int>(std::clamp<std::int64_t>(ms, 1, INT32_MAX)));
    }
    std::int64_t interval_ms() const override { return interval_; }
    void set_enabled(bool on) override
    {
        if (on && interval_ > 0)
            timer_.start();
        else
            timer_.stop();
    }
    bool enabled() const override { return timer_.isActive(); }
    void on_timer(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
    QTimer timer_;
    std::int64_t interval_ = 0;
    std::function<void()> handler_;
};

class QtEventPump : public EventPump {
public:
    Clock& clock() override { return clock_; }
    std::unique_ptr<Timer> make_timer() override { return std::make_unique<QtTimer>(); }
    void run_pending() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    bool wait_until(const std::function<bool()>& done, std::int64_t deadline_us) override
    {
        QTimer deadline;
        deadline.setSingleShot(true);
        bool expired = false;
        QObject::connect(&deadline, &QTimer::timeout, [&] { expired = true; });
        std::int64_t left_us = deadline_us - clock_.now_us();
        deadline.start(static_cast<int>(std::clamp<std::int64_t>((left_us + 999) / 1000, 0, INT32_MAX)));
        auto* dispatcher = QAbstractEventDispatcher::instance();
        while (!done()) {
            if (expired || clock_.now_us() >= deadline_us) break;
            if (dispatcher)
                dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            else
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        return done();
    }
    void wake() override
    {
        if (auto* d = QAbstractEventDispatcher::instance()) d->wakeUp();
    }
    void post(std::function<void()> action) override
    {
        QTimer::singleShot(0, QCoreApplication::instance(), std::move(action));
    }

private:
    SteadyClock clock_;
};

} // namespace

EventPump& qt_event_pump()
{
    static QtEventPump pump;
    return pump;
}

} // namespace platform
