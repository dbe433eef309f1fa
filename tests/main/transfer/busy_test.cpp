// The GPS commands' wait for the transfer busy flag.
#include "tests/main/app/rig.h"

#include <gtest/gtest.h>

using apptest::Rig;

TEST(WaitIdle, ReturnsAtOnceWhenTheLinkIsFree)
{
    Rig r;
    EXPECT_TRUE(transfer::Transfer_WaitIdle(r.main));
    EXPECT_EQ(r.pump.fake_clock().now_us(), 0);
}

TEST(WaitIdle, LetsEventsRunUntilOneClearsTheFlag)
{
    Rig r;
    r.main.state().transfer_busy = true;
    int ticks = 0;
    auto timer = r.pump.make_timer();
    timer->set_interval_ms(100);
    timer->on_timer([&] { ++ticks; });
    timer->set_enabled(true);
    r.pump.at(90'000'000, [&] { r.main.state().transfer_busy = false; });
    EXPECT_TRUE(transfer::Transfer_WaitIdle(r.main));
    EXPECT_FALSE(r.main.state().transfer_busy); // the caller sets it
    // It let every event run up to the one that freed the link.
    EXPECT_EQ(r.pump.fake_clock().now_us(), 90'000'000);
    EXPECT_GE(ticks, 899);
}

TEST(WaitIdle, EndsWhenTheProgramEnds)
{
    Rig r;
    r.main.state().transfer_busy = true;
    r.pump.at(5'000'000, [&] { r.main.mnuExit_Click(); });
    EXPECT_FALSE(transfer::Transfer_WaitIdle(r.main));
    EXPECT_TRUE(r.main.ended());
    EXPECT_TRUE(r.main.state().transfer_busy);
}
