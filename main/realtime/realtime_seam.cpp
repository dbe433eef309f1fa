// Real-time tracking as far as it is built: its menu entries and the NMEA
// viewer do nothing yet.
#include "main/realtime/realtime.h"

namespace realtime {
namespace {

class RealTimeSeam : public RealTime {
public:
    void show_frmNMEAViewer() override {}
    void menu_Click(const std::string&, int) override {}
};

} // namespace

std::unique_ptr<RealTime> make_real_time(app::frmMain&) { return std::make_unique<RealTimeSeam>(); }

} // namespace realtime
