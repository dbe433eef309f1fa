// A main window with a fake control whose PVT record a test sets, a fake
// clock, and GIS links that answer as running: real-time tracking driven one
// fix at a time.
#pragma once

#include "tests/main/app/rig.h"

#include "main/realtime/frm_realtime.h"
#include "main/realtime/realtime.h"
#include "main/table/table.h"

#include <string>

namespace rttest {

struct Tracker : apptest::Rig {
    explicit Tracker(bool programs = true, bool own_folder = false) : Rig(false, own_folder)
    {
        links->programs_run = programs;
        load();
        garmin.date_time = {7, 4, 2006, 9, 5, 30};
        garmin.pvt.Alt = 300, garmin.pvt.msl_hght = 12.3f, garmin.pvt.epe = 3, garmin.pvt.eph = 4.2f;
        garmin.pvt.epv = 6, garmin.pvt.pfix = 3, garmin.pvt.east = 0.12f, garmin.pvt.north = -0.4f, garmin.pvt.up = 0.01f;
    }
    realtime::frmRealTime& w() { return main.realtime().RealTimeWindow(); }
    void start()
    {
        main.menu_Click("mnuStartRealTime");
        log.clear();
        dialogs.clear();
    }
    // One PVT record at (lat, lon), `seconds` after the one before.
    void fix(double lat, double lon, int seconds = 1)
    {
        pump.advance(std::int64_t(seconds) * 1000000);
        garmin.pvt.Lat = lat, garmin.pvt.Lon = lon;
        garmin.receive(garmin.ids.at("PID_Pvt_Data"), std::vector<std::uint8_t>(64));
    }
    int rows()
    {
        int n = 0;
        for (int r = 1; r < main.MSFlexGrid1.Rows(); ++r) n += !main.MSFlexGrid1.TextMatrix(r, 0).empty();
        return n;
    }
    std::string cell(int row, const char* field)
    {
        return main.MSFlexGrid1.TextMatrix(row, main.table().Column_Find(field, true));
    }
    int count(const std::string& entry) { return int(std::count(log.begin(), log.end(), entry)); }
};

} // namespace rttest
