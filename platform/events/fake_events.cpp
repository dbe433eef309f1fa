#include "platform/events/fake_events.h"

#include <algorithm>
#include <cmath>

namespace platform {

double FakeClock::seconds_since_midnight() const
{
    double s = midnight_offset_s + static_cast<double>(now_) / 1e6;
    return std::fmod(s, 86400.0);
}

struct FakeEventPump::TimerState {
    FakeEventPump* pump = nullptr;
    std::int64_t interval_ms = 0;
    bool enabled = false;
    std::int64_t due_us = 0;
    std::int64_t seq = 0;
    std::function<void()> handler;
};

class FakeTimer : public Timer {
public:
    explicit FakeTimer(FakeEventPump* pump) : s_(new FakeEventPump::TimerState)
    {
        s_->pump = pump;
        pump->timers_.push_back(s_);
    }
    ~FakeTimer() override
    {
        auto& v = s_->pump->timers_;
        v.erase(std::remove(v.begin(), v.end(), s_), v.end());
        delete s_;
    }
    void set_interval_ms(std::int64_t ms) override
    {
        s_->interval_ms = ms;
        if (s_->enabled) rearm();
    }
    std::int64_t interval_ms() const override { return s_->interval_ms; }
    void set_enabled(bool on) override
    {
        s_->enabled = on;
        if (on) rearm();
    }
    bool enabled() const override { return s_->enabled; }
    void on_timer(std::function<void()> handler) override { s_->handler = std::move(handler); }

private:
    void rearm()
    {
        s_->due_us = s_->pump->clock_.now_us() + std::max<std::int64_t>(1, s_->interval_ms) * 1000;
        s_->seq = ++s_->pump->seq_;
    }
    FakeEventPump::TimerState* s_;
};

FakeEventPump::FakeEventPump() = default;
FakeEventPump::~FakeEventPump() = default;

std::unique_ptr<Timer> FakeEventPump::make_timer() { return std::make_unique<FakeTimer>(this); }

void FakeEventPump::at(std::int64_t at_us, std::function<void()> action)
{
    actions_.emplace(at_us, std::move(action));
}

bool FakeEventPump::fire_next_due(std::int64_t limit_us)
{
    // Earliest scripted action and earliest enabled timer; ties go to the
    // scripted action (data that arrived before the tick).
    auto a = actions_.begin();
    TimerState* t = nullptr;
    for (TimerState* s : timers_) {
        if (!s->enabled || s->interval_ms <= 0) continue;
        if (!t || s->due_us < t->due_us || (s->due_us == t->due_us && s->seq < t->seq)) t = s;
    }
    bool have_a = a != actions_.end() && a->first <= limit_us;
    bool have_t = t && t->due_us <= limit_us;
    if (!have_a && !have_t) return false;
    if (have_a && (!have_t || a->first <= t->due_us)) {
        if (a->first > clock_.now_us()) clock_.set(a->first);
        auto fn = std::move(a->second);
        actions_.erase(a);
        fn();
        return true;
    }
    if (t->due_us > clock_.now_us()) clock_.set(t->due_us);
    t->due_us = clock_.now_us() + t->interval_ms * 1000;
    t->seq = ++seq_;
    auto handler = t->handler; // the handler may destroy or re-arm the timer
    if (handler) handler();
    return true;
}

void FakeEventPump::run_pending()
{
    for (int guard = 0; guard < 100000 && fire_next_due(clock_.now_us()); ++guard) {
    }
}

bool FakeEventPump::wait_until(const std::function<bool()>& done, std::int64_t deadline_us)
{
    for (;;) {
        if (done()) return true;
        if (!fire_next_due(deadline_us)) break;
    }
    if (clock_.now_us() < deadline_us) clock_.set(deadline_us);
    return done();
}

void FakeEventPump::advance(std::int64_t us)
{
    std::int64_t end = clock_.now_us() + us;
    while (fire_next_due(end)) {
    }
    if (clock_.now_us() < end) clock_.set(end);
}

} // namespace platform
