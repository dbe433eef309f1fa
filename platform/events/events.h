// Time, timers and the event loop, as the program's single UI thread sees them.
//
// Everything runs on one thread. Code that waits for something (a reply from
// the receiver, a port to drain) blocks on the EventPump with a deadline; the
// pump lets pending events (timers, port notifications, window events) run
// meanwhile, so handlers may re-enter the waiting code. Nothing spins.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// Monotonic microseconds for deadlines and intervals; wall-clock seconds since
// local midnight for the time marks that debug output prints.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t now_us() const = 0;
    virtual double seconds_since_midnight() const = 0;
};

// A repeating timer. Setting Enabled to true (re)starts the interval from now;
// Interval changes take effect at the next enable. Ticks run on the loop.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void set_interval_ms(std::int64_t ms) = 0;
    virtual std::int64_t interval_ms() const = 0;
    virtual void set_enabled(bool on) = 0;
    virtual bool enabled() const = 0;
    virtual void on_timer(std::function<void()> handler) = 0;
};

class EventPump {
public:
    virtual ~EventPump() = default;
    virtual Clock& clock() = 0;
    virtual std::unique_ptr<Timer> make_timer() = 0;
    // Runs the events already pending and returns (DoEvents).
    virtual void run_pending() = 0;
    // Runs events until done() is true or the monotonic deadline passes.
    // Returns done(). Blocks between events; never busy-waits.
    virtual bool wait_until(const std::function<bool()>& done, std::int64_t deadline_us) = 0;
    // Wakes a wait_until from outside an event (e.g. after feeding data).
    virtual void wake() = 0;
    // Runs `action` on the loop's next turn, after the events already
    // pending. The caller keeps whatever it touches alive until then.
    virtual void post(std::function<void()> action) = 0;
};

// The process-wide real pump on the Qt event loop. Needs a QCoreApplication
// (or a subclass) to exist before first use.
EventPump& qt_event_pump();

} // namespace platform
