// The Qt event pump: work posted for the loop's next turn.
#include "platform/events/events.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <string>

namespace {

TEST(QtEventPump, PostedWorkRunsOnceOnTheNextTurnAfterWhatIsPending)
{
    int argc = 1;
    char name[] = "qt_pump_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    platform::EventPump& pump = platform::qt_event_pump();

    std::string order;
    auto timer = pump.make_timer();
    timer->set_interval_ms(1);
    timer->on_timer([&] {
        timer->set_enabled(false);
        order += "t";
    });
    pump.post([&] {
        order += "p";
        pump.post([&] { order += "q"; }); // posted from posted work: a later turn
    });
    EXPECT_EQ(order, ""); // nothing runs at the post itself
    pump.run_pending();
    EXPECT_EQ(order.substr(0, 1), "p");
    timer->set_enabled(true);
    const auto deadline = pump.clock().now_us() + 30'000'000;
    EXPECT_TRUE(pump.wait_until([&] { return order.find('q') != std::string::npos && order.find('t') != std::string::npos; },
                                deadline));
    EXPECT_EQ(std::count(order.begin(), order.end(), 'p'), 1);
    EXPECT_EQ(std::count(order.begin(), order.end(), 'q'), 1);
}

} // namespace
