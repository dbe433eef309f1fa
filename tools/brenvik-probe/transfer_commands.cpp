#include "tools/brenvik-probe/transfer_commands.h"

#include "tools/brenvik-probe/transfer_host.h"

#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace brenvik::probe {

namespace {

// Connects a recorder to the control's typed events for one command.
class Connected {
public:
    Connected(Brenvik& gps, Transfer_Events& ev) : gps_(gps) { gps_.Advise(&ev); }
    ~Connected() { gps_.Advise(nullptr); }
    Connected(const Connected&) = delete;
    Connected& operator=(const Connected&) = delete;

private:
    Brenvik& gps_;
};

json errors_json(const Transfer_Events& ev, std::size_t from)
{
    json out = json::array();
    for (std::size_t k = from; k < ev.errors.size(); ++k)
        out.push_back({{"code", ev.errors[k].code}, {"message", ev.errors[k].message}});
    return out;
}

json pvt_json(const cPvtData& p)
{
    return {{"kind", "pvt"},   {"alt", p.Alt},     {"epe", p.epe},           {"eph", p.eph},
            {"epv", p.epv},    {"fix", p.pfix},    {"tow", p.tow},           {"lat", p.Lat},
            {"lon", p.Lon},    {"east", p.east},   {"north", p.north},       {"up", p.up},
            {"msl_hght", p.msl_hght}, {"leap_scnds", p.leap_scnds}, {"wn_days", p.wn_days}};
}

json download(Brenvik& gps, Transfer_Events& ev, platform::EventPump& pump, Kind kind,
              const std::function<void(const json&)>& print)
{
    const bool ok = Download(gps, ev, pump, kind);
    json out{{"ok", ok}};
    if (!ok) return out;
    std::size_t n = 0;
    if (kind == Kind::Routes) {
        for (json r : Routes_Json(ev.routes ? *ev.routes : RecordList<cRoute>{})) {
            r["kind"] = "route";
            print(r);
            ++n;
        }
    } else if (kind == Kind::Tracks) {
        for (json t : Tracks_Json(ev.tracks ? *ev.tracks : RecordList<cTrack>{})) {
            t["kind"] = "track";
            print(t);
            ++n;
        }
    } else if (ev.waypoints) {
        for (const auto& w : *ev.waypoints) {
            json j = Waypoint_Json(*w);
            j["kind"] = kind == Kind::Prox_Waypoints ? "proximity" : "waypoint";
            print(j);
            ++n;
        }
    }
    out["records"] = n;
    return out;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

bool Is_Transfer_Command(const std::string& word)
{
    static const std::set<std::string> words{"waypoints", "proxwaypoints", "routes",  "tracks", "datetime",
                                             "position",  "pvt",           "counts",  "upload"};
    return words.count(word) != 0;
}

json Parse_Upload_Set(const std::string& text)
{
    json set{{"waypoints", json::array()}, {"proximity", json::array()}, {"routes", json::array()},
             {"tracks", json::array()}};
    // One object with the arrays.
    try {
        json whole = json::parse(text);
        if (whole.is_object() && !whole.contains("kind")) {
            for (const char* k : {"waypoints", "proximity", "routes", "tracks"}) {
                if (!whole.contains(k)) continue;
                if (!whole[k].is_array()) throw std::runtime_error(std::string("\"") + k + "\" must be an array");
                set[k] = whole[k];
            }
            return set;
        }
    } catch (const json::parse_error&) {
        // Not one document: JSON lines.
    }
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        json j;
        try {
            j = json::parse(line);
        } catch (const json::parse_error& e) {
            throw std::runtime_error("line " + std::to_string(number) + ": " + e.what());
        }
        if (!j.is_object() || !j.contains("kind") || !j["kind"].is_string())
            throw std::runtime_error("line " + std::to_string(number) + ": an object with a \"kind\" is expected");
        const std::string kind = j["kind"];
        j.erase("kind");
        if (kind == "waypoint") set["waypoints"].push_back(j);
        else if (kind == "proximity") set["proximity"].push_back(j);
        else if (kind == "route") set["routes"].push_back(j);
        else if (kind == "track") set["tracks"].push_back(j);
        else if (kind != "date_time" && kind != "position" && kind != "pvt" && kind != "counts")
            throw std::runtime_error("line " + std::to_string(number) + ": unknown kind \"" + kind + "\"");
    }
    return set;
}

json Run_Transfer_Command(const std::string& cmd, const std::vector<std::string>& args, std::size_t& i,
                         platform::Dispatch& control, const std::function<void(const json&)>& print)
{
    Brenvik* gps = As_Brenvik(&control);
    if (!gps) throw std::invalid_argument("the object is not a brenvik2006.Brenvik control");
    platform::EventPump& pump = platform::qt_event_pump();
    Transfer_Events ev;
    Connected connected(*gps, ev);
    auto arg = [&]() -> std::string {
        if (i >= args.size()) throw std::invalid_argument(cmd + " needs a value");
        return args[i++];
    };

    json out{{"command", cmd}};
    if (cmd == "waypoints") out.update(download(*gps, ev, pump, Kind::Waypoints, print));
    else if (cmd == "proxwaypoints") out.update(download(*gps, ev, pump, Kind::Prox_Waypoints, print));
    else if (cmd == "routes") out.update(download(*gps, ev, pump, Kind::Routes, print));
    else if (cmd == "tracks") out.update(download(*gps, ev, pump, Kind::Tracks, print));
    else if (cmd == "datetime") {
        gps->Request_Date_Time();
        const cDate_Time& d = *gps->Date_Time();
        print({{"kind", "date_time"}, {"year", d.year}, {"month", d.month}, {"day", d.day},
               {"hour", d.hour}, {"minute", d.minute}, {"second", d.second}});
    } else if (cmd == "position") {
        gps->Request_Position_Data();
        print({{"kind", "position"}, {"lat", gps->Position()->Lat}, {"lon", gps->Position()->Lon}});
    } else if (cmd == "pvt") {
        const int seconds = std::stoi(arg());
        if (seconds < 0 || seconds > 86400) throw std::invalid_argument("pvt needs 0 to 86400 seconds");
        int records = 0;
        const std::uint8_t pvt_id = gps->PID_Pvt_Data();
        ev.on_receive = [&](const ByteArray& p) {
            if (p.size() > 1 && p[1] == pvt_id) {
                print(pvt_json(*gps->PvtData()));
                ++records;
            }
        };
        gps->Pvt_Data_Start();
        pump.wait_until([] { return false; }, pump.clock().now_us() + std::int64_t(seconds) * 1000000);
        gps->Pvt_Data_Stop();
        ev.on_receive = nullptr;
        out["records"] = records;
    } else if (cmd == "counts") {
        gps->Request_Counts();
        if (ev.receive_counts)
            print({{"kind", "counts"}, {"waypoints", ev.counts[0]}, {"proximity", ev.counts[1]},
                   {"routes", ev.counts[2]}, {"tracks", ev.counts[3]}});
    } else if (cmd == "upload") {
        const json set = Parse_Upload_Set(read_file(arg()));
        Uploader up(*gps, ev, pump);
        bool ok = true;
        json transfers = json::array();
        for (const auto& steps : Upload_Plan(*gps, set)) {
            const bool done = up.Run(steps);
            transfers.push_back({{"packets", steps.size()}, {"sent", up.Sent()}, {"ok", done}});
            ok = ok && done;
            if (!done) break;
        }
        out["transfers"] = transfers;
        out["ok"] = ok;
    } else {
        throw std::invalid_argument("unknown transfer command " + cmd);
    }
    if (!ev.errors.empty()) out["errors"] = errors_json(ev, 0);
    return out;
}

} // namespace brenvik::probe
