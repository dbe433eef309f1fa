#include "tools/brenvik-probe/transfer_commands.h"

#include "tools/brenvik-probe/transfer_host.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
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

// ---- the upload file ---------------------------------------------------------

// The four kinds an upload carries, in the order they go up.
struct Upload_Kind {
    const char* key;   // the array's name in the upload set
    const char* line;  // the "kind" of a record line
    std::string (Brenvik::*protocol)();
};
const Upload_Kind kUploadKinds[] = {
    {"waypoints", "waypoint", &Brenvik::WayPoint_Transfer_Protocol},
    {"proximity", "proximity", &Brenvik::Prox_Wpt_Transfer_Protocol},
    {"routes", "route", &Brenvik::Route_Transfer_Protocol},
    {"tracks", "track", &Brenvik::Track_Transfer_Protocol},
};

// Lines of the probe's own output that carry no record to upload.
bool passed_over(const std::string& kind)
{
    return kind == "date_time" || kind == "position" || kind == "pvt" || kind == "counts";
}

[[noreturn]] void bad(const std::string& where, const std::string& what)
{
    throw std::invalid_argument(where + ": " + what);
}

std::string shown(const json& v)
{
    std::string s = v.dump(-1, ' ', false, json::error_handler_t::replace);
    return s.size() > 40 ? s.substr(0, 37) + "..." : s;
}

// What each known field of a record may hold.
enum class Field { Text, Number, Flag };
struct Field_Rule {
    const char* key;
    Field type;
    double low = -std::numeric_limits<double>::max(), high = std::numeric_limits<double>::max();
};
const Field_Rule kFieldRules[] = {
    {"lat", Field::Number, -90, 90},  {"lon", Field::Number, -180, 180}, {"alt", Field::Number},
    {"depth", Field::Number},         {"dist", Field::Number},           {"temp", Field::Number},
    {"symbol", Field::Number},        {"color", Field::Number},          {"class", Field::Number},
    {"prox_index", Field::Number},    {"category", Field::Number},       {"number", Field::Number},
    {"index", Field::Number},         {"seconds", Field::Number},        {"display", Field::Flag},
    {"new_segment", Field::Flag},     {"ident", Field::Text},            {"comment", Field::Text},
    {"subclass", Field::Text},        {"state", Field::Text},            {"country", Field::Text},
    {"city", Field::Text},            {"address", Field::Text},          {"facility", Field::Text},
    {"cross_road", Field::Text},      {"link", Field::Text},
};

void check_record(const json& e, const std::string& where)
{
    if (!e.is_object()) bad(where, "a record must be a JSON object, not " + shown(e));
    for (const Field_Rule& r : kFieldRules) {
        auto it = e.find(r.key);
        if (it == e.end()) continue;
        const std::string key = std::string("\"") + r.key + "\"";
        if (r.type == Field::Text) {
            if (!it->is_string()) bad(where, key + " must be a text, not " + shown(*it));
        } else if (r.type == Field::Flag) {
            if (!it->is_boolean() && !it->is_number()) bad(where, key + " must be true, false or a number, not " + shown(*it));
        } else {
            const bool ranged = r.low > -std::numeric_limits<double>::max();
            char range[64];
            std::snprintf(range, sizeof range, " must be a number from %g to %g", r.low, r.high);
            const std::string want = ranged ? range : " must be a number";
            if (!it->is_number()) bad(where, key + want + ", not " + shown(*it));
            const double v = it->get<double>();
            if (!std::isfinite(v) || v < r.low || v > r.high) bad(where, key + want + ", not " + shown(*it));
        }
    }
    if (auto it = e.find("time"); it != e.end()) {
        const bool ok = it->is_string() ? Iso_To_Device_Seconds(it->get<std::string>()).has_value()
                                        : it->is_number_integer() && it->get<std::int64_t>() >= -1 &&
                                              it->get<std::int64_t>() <= 0xFFFFFFFFLL;
        if (!ok) bad(where, "\"time\" must be a time such as \"2024-05-01T12:00:00Z\" (from 1990 on), not " + shown(*it));
    }
    for (const char* list : {"points", "links"}) {
        auto it = e.find(list);
        if (it == e.end()) continue;
        if (!it->is_array()) bad(where, std::string("\"") + list + "\" must be an array, not " + shown(*it));
        for (std::size_t k = 0; k < it->size(); ++k)
            check_record((*it)[k], where + ": " + list + "[" + std::to_string(k) + "]");
    }
}

// The fewest packets each kind takes, whatever the unit: a transfer that
// holds more than it can carry is refused before anything is sent.
void check_sizes(const json& set)
{
    for (const Upload_Kind& k : kUploadKinds) {
        std::size_t n = 0;
        for (const json& r : set[k.key]) {
            const std::string key = k.key;
            if (key == "routes") n += 1 + r.value("points", json::array()).size();
            else if (key == "tracks") n += r.value("points", json::array()).size();
            else ++n;
        }
        if (n > kMaxTransferPackets)
            bad(k.key, std::to_string(n) + " packets; one transfer carries at most " +
                           std::to_string(kMaxTransferPackets));
    }
}

std::string read_upload_file(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) bad(path, std::strerror(errno));
    if (S_ISDIR(st.st_mode)) bad(path, "is a directory, not an upload file");
    if (!S_ISREG(st.st_mode)) bad(path, "is not a regular file");
    constexpr off_t kMaxFile = 512LL << 20;
    if (st.st_size > kMaxFile) bad(path, "is larger than 512 MB");
    std::ifstream in(path, std::ios::binary);
    if (!in) bad(path, std::string("cannot open: ") + std::strerror(errno));
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) bad(path, "cannot read");
    return s.str();
}

bool blank(const std::string& name) { return name.find_first_not_of(' ') == std::string::npos; }

json failed(json out, const std::string& why)
{
    out["ok"] = false;
    out["why"] = why;
    return out;
}

// The upload: identify the unit, check that it takes every kind and that
// each transfer fits, then send.
json upload(Brenvik& gps, Transfer_Events& ev, platform::EventPump& pump, const json& set, json out)
{
    gps.Request_Product_Data();
    if (!ev.errors.empty()) return failed(out, "the unit did not identify itself: " + ev.errors.front().message);
    std::vector<const char*> kinds;
    for (const Upload_Kind& k : kUploadKinds) {
        if (set[k.key].empty()) continue;
        if (blank((gps.*k.protocol)())) return failed(out, std::string("the unit takes no ") + k.key);
        kinds.push_back(k.key);
    }
    const auto plan = Upload_Plan(gps, set);
    for (std::size_t t = 0; t < plan.size(); ++t)
        if (plan[t].size() > kMaxTransferPackets)
            return failed(out, std::string(kinds[t]) + ": " + std::to_string(plan[t].size()) +
                                   " packets in this unit's formats; one transfer carries at most " +
                                   std::to_string(kMaxTransferPackets));
    Uploader up(gps, ev, pump);
    bool ok = true;
    json transfers = json::array();
    for (std::size_t t = 0; t < plan.size() && ok; ++t) {
        ok = up.Run(plan[t]);
        transfers.push_back({{"kind", kinds[t]}, {"packets", plan[t].size()}, {"sent", up.Sent()}, {"ok", ok}});
    }
    out["transfers"] = transfers;
    out["ok"] = ok;
    if (!ok)
        out["why"] = ev.errors.empty() ? "the unit did not acknowledge the transfer" : ev.errors.front().message;
    return out;
}

} // namespace

std::int64_t Number_Argument(const std::string& what, const std::string& text, std::int64_t low, std::int64_t high)
{
    // Digits only, all of them: no sign but "-", no spaces, no fraction.
    std::int64_t v = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || stop != end || v < low || v > high)
        throw std::invalid_argument(what + ": \"" + text + "\" is not a whole number from " + std::to_string(low) +
                                    " to " + std::to_string(high));
    return v;
}

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
    json whole = json::parse(text, nullptr, false);
    if (whole.is_object() && !whole.contains("kind") && !whole.contains("command") && !whole.contains("event")) {
        for (auto it = whole.begin(); it != whole.end(); ++it) {
            if (!set.contains(it.key()))
                bad("\"" + it.key() + "\"", "unknown array; an upload object holds \"waypoints\", \"proximity\", "
                                            "\"routes\" and \"tracks\"");
            if (!it->is_array()) bad("\"" + it.key() + "\"", "must be an array, not " + shown(*it));
            for (std::size_t k = 0; k < it->size(); ++k)
                check_record((*it)[k], it.key() + "[" + std::to_string(k) + "]");
            set[it.key()] = *it;
        }
        check_sizes(set);
        return set;
    }
    // JSON lines, such as the probe's own output.
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string where = "line " + std::to_string(number);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        json j;
        try {
            j = json::parse(line);
        } catch (const json::parse_error& e) {
            bad(where, e.what());
        }
        if (!j.is_object()) bad(where, "a record must be a JSON object, not " + shown(j));
        if (!j.contains("kind") && (j.contains("command") || j.contains("event"))) continue;
        if (!j.contains("kind") || !j["kind"].is_string()) bad(where, "an object with a \"kind\" is expected");
        const std::string kind = j["kind"];
        if (passed_over(kind)) continue;
        j.erase("kind");
        bool known = false;
        for (const Upload_Kind& k : kUploadKinds)
            if (kind == k.line) {
                check_record(j, where);
                set[k.key].push_back(std::move(j));
                known = true;
                break;
            }
        if (!known) bad(where, "unknown kind \"" + kind + "\"");
    }
    check_sizes(set);
    return set;
}

Transfer_Command Parse_Transfer_Command(const std::string& cmd, const std::vector<std::string>& args,
                                        std::size_t& i)
{
    if (!Is_Transfer_Command(cmd)) throw std::invalid_argument("unknown transfer command " + cmd);
    auto arg = [&]() -> std::string {
        if (i >= args.size()) throw std::invalid_argument(cmd + " needs a value");
        return args[i++];
    };
    Transfer_Command c;
    c.name = cmd;
    if (cmd == "pvt") {
        c.seconds = static_cast<int>(Number_Argument("pvt SECONDS", arg(), 0, 86400));
    } else if (cmd == "upload") {
        c.file = arg();
        const std::string text = read_upload_file(c.file);
        try {
            c.set = Parse_Upload_Set(text);
        } catch (const std::invalid_argument& e) {
            bad(c.file, e.what());
        }
        std::size_t records = 0;
        for (const Upload_Kind& k : kUploadKinds) records += c.set[k.key].size();
        if (records == 0) bad(c.file, "holds no records to upload");
    }
    return c;
}

std::string Read_Upload_File(const std::string& path) { return read_upload_file(path); }

json Run_Transfer_Command(const Transfer_Command& c, platform::Dispatch& control,
                          const std::function<void(const json&)>& print)
{
    Brenvik* gps = As_Brenvik(&control);
    if (!gps) throw std::invalid_argument("the object is not a brenvik2006.Brenvik control");
    platform::EventPump& pump = platform::qt_event_pump();
    Transfer_Events ev;
    Connected connected(*gps, ev);
    const std::string& cmd = c.name;

    json out{{"command", cmd}};
    if (cmd == "waypoints") out.update(download(*gps, ev, pump, Kind::Waypoints, print));
    else if (cmd == "proxwaypoints") out.update(download(*gps, ev, pump, Kind::Prox_Waypoints, print));
    else if (cmd == "routes") out.update(download(*gps, ev, pump, Kind::Routes, print));
    else if (cmd == "tracks") out.update(download(*gps, ev, pump, Kind::Tracks, print));
    else if (cmd == "datetime") {
        gps->Request_Date_Time();
        const cDate_Time& d = *gps->Date_Time();
        if (ev.errors.empty())
            print({{"kind", "date_time"}, {"year", d.year}, {"month", d.month}, {"day", d.day},
                   {"hour", d.hour}, {"minute", d.minute}, {"second", d.second}});
    } else if (cmd == "position") {
        gps->Request_Position_Data();
        if (ev.errors.empty()) print({{"kind", "position"}, {"lat", gps->Position()->Lat}, {"lon", gps->Position()->Lon}});
    } else if (cmd == "pvt") {
        int records = 0;
        const std::uint8_t pvt_id = gps->PID_Pvt_Data();
        ev.on_receive = [&](const ByteArray& p) {
            if (p.size() > 1 && p[1] == pvt_id) {
                print(pvt_json(*gps->PvtData()));
                ++records;
            }
        };
        gps->Pvt_Data_Start();
        pump.wait_until([] { return false; }, pump.clock().now_us() + std::int64_t(c.seconds) * 1000000);
        gps->Pvt_Data_Stop();
        ev.on_receive = nullptr;
        out["records"] = records;
    } else if (cmd == "counts") {
        gps->Request_Counts();
        if (ev.receive_counts)
            print({{"kind", "counts"}, {"waypoints", ev.counts[0]}, {"proximity", ev.counts[1]},
                   {"routes", ev.counts[2]}, {"tracks", ev.counts[3]}});
        else if (ev.errors.empty())
            out = failed(out, "the unit sent no counts");
    } else if (cmd == "upload") {
        out = upload(*gps, ev, pump, c.set, out);
    } else {
        throw std::invalid_argument("unknown transfer command " + cmd);
    }
    if (!ev.errors.empty()) out["errors"] = errors_json(ev, 0);
    if (!out.contains("ok")) out["ok"] = ev.errors.empty();
    if (!out["ok"].get<bool>() && !out.contains("why"))
        out["why"] = ev.errors.empty() ? "no transfer-complete packet came" : ev.errors.front().message;
    return out;
}

} // namespace brenvik::probe
