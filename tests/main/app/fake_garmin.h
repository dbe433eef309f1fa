// A device control for tests: logs every call, answers from maps of packet
// identifiers and protocol names, keeps its record objects, and runs a
// hook per command so a test can play the receiver (raise events from
// inside a request, as the real control does).
#pragma once

#include "main/app/garmin_control.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace apptest {

class FakeGarmin : public app::GarminControl {
public:
    explicit FakeGarmin(std::vector<std::string>& log) : log_(log)
    {
        ids = {{"PID_Records", 27},      {"PID_Product_Data", 255}, {"PID_Unit_ID", 38},   {"PID_Protocol_Array", 253},
               {"PID_Date_Time", 14},    {"PID_Pvt_Data", 51},      {"PID_Sats", 114},     {"PID_Position_Data", 17},
               {"PID_Almanac_Data", 31}, {"PID_Wpt_Data", 35},      {"PID_Prx_Wpt_Data", 19}, {"PID_Rte_Hdr", 29},
               {"PID_Rte_Link", 98},     {"PID_Rte_Wpt_Data", 30},  {"PID_Trk_Hdr", 99},   {"PID_Trk_Data", 34},
               {"PID_Xfer_Cmplt", 12},   {"PID_Display_Data", 69},  {"PID_Nak_Byte", 21},  {"PID_Ack_Byte", 6},
               {"PID_Command_Data", 10}, {"PID_Baud_Reply", 49},    {"CMND_Transfer_Wpt", 7},
               {"CMND_Transfer_Prx", 3}, {"CMND_Transfer_Trk", 6}};
        names = {{"Link_Protocol", "L001"},          {"WayPoint_Transfer_Protocol", "A100"},
                 {"Route_Transfer_Protocol", "A201"}, {"Track_Transfer_Protocol", "A301"},
                 {"Route_Header_Format", "D202"},     {"Track_Header_Format", "D310"},
                 {"Waypoint_Data_Format", "D110"},    {"Route_Wpt_Data_Format", "D110"},
                 {"Track_Point_Format", "D302"}};
    }

    // The handlers the control raises its events on.
    app::GarminEvents* sink = nullptr;
    std::map<std::string, std::uint8_t> ids;
    std::map<std::string, std::string> names;
    // Runs when the named command is called (after it is logged).
    std::map<std::string, std::function<void()>> on;
    std::int16_t port = 1;
    std::string settings = "9600,N,8,1";
    std::int16_t incoming = 0;
    bool baud_changes = true;
    std::int32_t found_baud = 9600;
    brenvik::cWaypoint waypoint;
    brenvik::cTrack track;
    brenvik::cRoute route;
    brenvik::cProduct_Data product;
    brenvik::cDate_Time date_time;
    brenvik::cPosition position;
    brenvik::cPvtData pvt;
    // The records handed to the send methods, as they stood.
    std::vector<brenvik::cWaypoint> sent_waypoints;
    std::vector<brenvik::cTrack> sent_tracks;
    std::vector<brenvik::cRoute> sent_routes;

    // Raises Receive with a packet of `id` and `data`.
    void receive(std::uint8_t id, std::vector<std::uint8_t> data = {})
    {
        app::Packet p{16, id, static_cast<std::uint8_t>(data.size())};
        p.insert(p.end(), data.begin(), data.end());
        if (sink) sink->Receive(p);
    }
    // Raises ReceiveImage: per cent done, the picture when whole.
    void image(std::int16_t pct, brenvik::PictureRef picture = nullptr)
    {
        if (sink) sink->ReceiveImage(pct, picture);
    }
    void ack(const std::string& of) { receive(ids.at("PID_Ack_Byte"), {ids.at(of), 0}); }
    std::int16_t error(std::int16_t level, const std::string& message)
    {
        if (sink) sink->cError(level, message, {});
        return level;
    }

    void Advise(app::GarminEvents* s) override { sink = s; }
    std::int16_t Port() override { return port; }
    void Port(std::int16_t p) override
    {
        port = p;
        log_.push_back("garmin.Port=" + std::to_string(p));
    }
    std::string Settings() override { return settings; }
    void Settings(const std::string& s) override
    {
        settings = s;
        log_.push_back("garmin.Settings=" + s);
    }
    bool PortOpen() override { return call("PortOpen"), true; }
    void PortClose() override { call("PortClose"); }
    void Reset() override { call("Reset"); }
    void WaitFor(std::int32_t d) override { call("WaitFor(" + std::to_string(d) + ")"); }
    std::int32_t FindBaud(const std::string& s) override { return call("FindBaud(" + s + ")"), found_baud; }
    bool Change_Baud_Rate(std::int32_t b) override
    {
        call("Change_Baud_Rate(" + std::to_string(b) + ")");
        if (baud_changes) settings = std::to_string(b) + ",N,8,1";
        return baud_changes;
    }
    void Send(const app::Packet& p) override { call("Send(" + std::to_string(p.size() > 1 ? p[1] : 0) + ")"); }
    std::int16_t Incoming_Records_Count() override { return incoming; }

#define FAKE_ID(n) \
    std::uint8_t n() override { return ids.at(#n); }
#define FAKE_NAME(n) \
    std::string n() override { return names.count(#n) ? names.at(#n) : "    "; }
#define FAKE_COMMAND(n) \
    void n() override { call(#n); }
    GARMIN_ID_PROPERTIES(FAKE_ID)
    GARMIN_NAME_PROPERTIES(FAKE_NAME)
    GARMIN_COMMANDS(FAKE_COMMAND)
#undef FAKE_ID
#undef FAKE_NAME
#undef FAKE_COMMAND
    void Start_of_Records(std::int16_t n) override { call("Start_of_Records(" + std::to_string(n) + ")"); }

    brenvik::cWaypoint& Waypoint() override { return waypoint; }
    brenvik::cTrack& Track() override { return track; }
    brenvik::cRoute& Route() override { return route; }
    brenvik::cProduct_Data& Product_Data() override { return product; }
    brenvik::cDate_Time& Date_Time() override { return date_time; }
    brenvik::cPosition& Position() override { return position; }
    brenvik::cPvtData& PvtData() override { return pvt; }

private:
    void call(const std::string& name)
    {
        log_.push_back("garmin." + name);
        if (name == "Send_Waypoint" || name == "Send_Route_Waypoint") sent_waypoints.push_back(waypoint);
        if (name == "Send_Track" || name == "Send_Track_Header") sent_tracks.push_back(track);
        if (name == "Send_Route_Header" || name == "Send_Route_Link") sent_routes.push_back(route);
        auto it = on.find(name);
        if (it != on.end() && it->second) it->second();
    }
    std::vector<std::string>& log_;
};

} // namespace apptest
