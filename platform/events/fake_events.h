// A deterministic event pump for tests: a fake clock that only moves when the
// pump waits, timers that fire in due order, and scripted actions that run at
// given times (bytes arriving from a fake port, say).
#pragma once

#include "platform/events/events.h"

#include <map>
#include <vector>

namespace platform {

class FakeClock : public Clock {
public:
    std::int64_t now_us() const override { return now_; }
    double seconds_since_midnight() const override;
    void set(std::int64_t us) { now_ = us; }
    void advance(std::int64_t us) { now_ += us; }
    // Wall clock at fake time 0, in seconds since midnight (to test midnight).
    double midnight_offset_s = 12 * 3600.0;

private:
    std::int64_t now_ = 0;
};

class FakeEventPump : public EventPump {
public:
    FakeEventPump();
    ~FakeEventPump() override;
    Clock& clock() override { return clock_; }
    FakeClock& fake_clock() { return clock_; }
    std::unique_ptr<Timer> make_timer() override;
    void run_pending() override;
    bool wait_until(const std::function<bool()>& done, std::int64_t deadline_us) override;
    void wake() override {}

    // Runs `action` on the loop when the fake clock reaches `at_us`.
    void at(std::int64_t at_us, std::function<void()> action);
    // Runs `action` at the next run_pending or wait.
    void post(std::function<void()> action) override { at(clock_.now_us(), std::move(action)); }
    // Moves the clock forward by `us`, firing everything due on the way.
    void advance(std::int64_t us);

    struct TimerState;

private:
    bool fire_next_due(std::int64_t limit_us);
    FakeClock clock_;
    std::multimap<std::int64_t, std::function<void()>> actions_;
    std::vector<TimerState*> timers_;
    std::int64_t seq_ = 0;
    friend class FakeTimer;
};

} // namespace platform
