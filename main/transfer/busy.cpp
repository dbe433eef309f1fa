// The one wait of the GPS commands for the link to come free.
#include "main/transfer/transfer.h"

#include "main/app/frm_main.h"
#include "platform/events/events.h"

namespace transfer {

namespace {

// Each pass of the wait blocks on the loop at most this long before it
// looks again; events that clear the flag end it at once.
constexpr std::int64_t kPassUs = 1000000;

} // namespace

bool Transfer_WaitIdle(app::frmMain& main)
{
    app::AppState& state = main.state();
    platform::EventPump& pump = main.pump();
    auto free_or_ended = [&] { return !state.transfer_busy || main.ended(); };
    while (!free_or_ended()) pump.wait_until(free_or_ended, pump.clock().now_us() + kPassUs);
    return !main.ended();
}

} // namespace transfer
