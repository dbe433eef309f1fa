#include "platform/events/fake_events.h"

#include <gtest/gtest.h>

using platform::FakeEventPump;

TEST(FakeEventPump, TimersAndActionsFireInTimeOrder)
{
    FakeEventPump pump;
    std::vector<std::string> seen;
    auto t = pump.make_timer();
    t->set_interval_ms(100);
    t->on_timer([&] { seen.push_back("tick@" + std::to_string(pump.clock().now_us())); });
    t->set_enabled(true);
    pump.at(150'000, [&] { seen.push_back("data@150000"); });
    pump.advance(250'000);
    EXPECT_EQ(seen, (std::vector<std::string>{"tick@100000", "data@150000", "tick@200000"}));
}

TEST(FakeEventPump, WaitEndsOnConditionOrDeadline)
{
    FakeEventPump pump;
    bool flag = false;
    pump.at(40'000, [&] { flag = true; });
    EXPECT_TRUE(pump.wait_until([&] { return flag; }, 1'000'000));
    EXPECT_EQ(pump.clock().now_us(), 40'000);
    EXPECT_FALSE(pump.wait_until([] { return false; }, 90'000));
    EXPECT_EQ(pump.clock().now_us(), 90'000);
}

TEST(FakeEventPump, ReenablingRestartsTheInterval)
{
    FakeEventPump pump;
    int ticks = 0;
    auto t = pump.make_timer();
    t->set_interval_ms(100);
    t->on_timer([&] { ++ticks; });
    t->set_enabled(true);
    pump.advance(90'000);
    t->set_enabled(false);
    t->set_enabled(true); // due again at 190 ms
    pump.advance(95'000);
    EXPECT_EQ(ticks, 0);
    pump.advance(10'000);
    EXPECT_EQ(ticks, 1);
}
