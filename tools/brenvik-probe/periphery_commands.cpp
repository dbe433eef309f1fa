#include "tools/brenvik-probe/periphery_commands.h"

#include "tools/brenvik-probe/transfer_commands.h"
#include "tools/brenvik-probe/transfer_host.h"

#include <fstream>
#include <set>
#include <sstream>
#include <type_traits>

namespace brenvik::probe {

namespace {

// Each record's fields under its class's names, for both directions.
template <class F>
void Fields(cAlmanac& a, F f)
{
    f("svid", a.svid), f("wn", a.wn), f("toa", a.toa), f("af0", a.af0), f("af1", a.af1), f("e", a.e),
        f("sqrta", a.sqrta), f("m0", a.m0), f("w", a.w), f("omg0", a.omg0), f("odot", a.odot), f("i", a.i),
        f("hlth", a.hlth);
}
template <class F>
void Fields(cLap& l, F f)
{
    f("Start_Time", l.Start_Time), f("Start_Time_Seconds", l.Start_Time_Seconds), f("Total_Time", l.Total_Time),
        f("Total_Distance", l.Total_Distance), f("Begin_Lat", l.Begin_Lat), f("Begin_Lon", l.Begin_Lon),
        f("End_Lat", l.End_Lat), f("End_Lon", l.End_Lon), f("Calories", l.Calories),
        f("Track_Index", l.Track_Index), f("Unused", l.Unused);
}
template <class F>
void Fields(cFlightbook_Record& r, F f)
{
    f("Takeoff_Time", r.Takeoff_Time), f("Takeoff_Seconds", r.Takeoff_Seconds), f("Landing_Time", r.Landing_Time),
        f("Landing_Seconds", r.Landing_Seconds), f("Takeoff_Lat", r.Takeoff_Lat), f("Takeoff_Lon", r.Takeoff_Lon),
        f("Landing_Lat", r.Landing_Lat), f("Landing_Lon", r.Landing_Lon), f("Night_Time", r.Night_Time),
        f("Num_Landings", r.Num_Landings), f("Max_Speed", r.Max_Speed), f("Max_Alt", r.Max_Alt),
        f("Distance", r.Distance), f("Cross_Country", r.Cross_Country),
        f("Departure_Airport_Name", r.Departure_Airport_Name), f("Departure_Airport_Ident", r.Departure_Airport_Ident),
        f("Arrival_Airport_Name", r.Arrival_Airport_Name), f("Arrival_Airport_Ident", r.Arrival_Airport_Ident),
        f("Aircraft_ID", r.Aircraft_ID);
}

template <class T>
json To_Json(const char* kind, T rec)
{
    json j{{"kind", kind}};
    Fields(rec, [&](const char* k, auto& v) { j[k] = v; });
    return j;
}

// A record from its line; a value of the wrong type names the field.
template <class T>
T From_Json(const json& j, const std::string& where)
{
    T rec;
    Fields(rec, [&](const char* k, auto& v) {
        auto it = j.find(k);
        if (it == j.end()) return;
        using V = std::decay_t<decltype(v)>;
        const bool fits = std::is_same_v<V, std::string> ? it->is_string()
                          : std::is_same_v<V, bool>      ? it->is_boolean()
                                                         : it->is_number();
        if (!fits) throw std::invalid_argument(where + ": \"" + k + "\" has the wrong type");
        v = it->get<V>();
    });
    return rec;
}

struct Kind_Info {
    const char* command;
    const char* kind;
};
const Kind_Info kUploads[] = {{"send-almanac", "almanac"}, {"send-lap", "lap"}, {"send-flightbook", "flightbook"}};

const char* upload_kind(const std::string& cmd)
{
    for (const auto& k : kUploads)
        if (cmd == k.command) return k.kind;
    return nullptr;
}

// The lines of `kind` in an upload file (other lines are passed over).
json Read_Records(const std::string& file, const char* kind)
{
    std::istringstream in(Read_Upload_File(file));
    json out = json::array();
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        json j = json::parse(line, nullptr, false);
        const std::string where = file + " line " + std::to_string(n);
        if (j.is_discarded() || !j.is_object()) throw std::invalid_argument(where + ": not a JSON object");
        if (j.value("kind", std::string()) != kind) continue;
        if (std::string(kind) == "almanac") From_Json<cAlmanac>(j, where);
        else if (std::string(kind) == "lap") From_Json<cLap>(j, where);
        else From_Json<cFlightbook_Record>(j, where);
        out.push_back(j);
    }
    if (out.empty()) throw std::invalid_argument(file + ": holds no \"" + std::string(kind) + "\" records");
    if (out.size() > kMaxTransferPackets) throw std::invalid_argument(file + ": more records than one transfer carries");
    return out;
}

// The events these commands wait for, besides the transfer ones.
struct Periphery_Events : Transfer_Events {
    std::vector<int> progress;
    PictureRef image;
    bool complete = false;
    int icons = 0;
    ByteArray bmp;
    void ReceiveImage(std::int16_t pct, const PictureRef& Image) override
    {
        progress.push_back(pct);
        image = Image;
        if (pct == 100) complete = true;
    }
    void ReceiveIcon(std::int16_t, const PictureRef&, const ByteArray& BMP) override
    {
        ++icons;
        bmp = BMP;
    }
};

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// The picture as a binary PPM: "P6", width, height, 255, then RGB.
std::string ppm(const Picture& p)
{
    std::string s = "P6\n" + std::to_string(p.Width) + " " + std::to_string(p.Height) + "\n255\n";
    for (std::uint32_t px : p.Pixels) {
        s += static_cast<char>(px >> 16 & 255);
        s += static_cast<char>(px >> 8 & 255);
        s += static_cast<char>(px & 255);
    }
    return s;
}

bool wait(platform::EventPump& pump, const std::function<bool()>& done, std::int64_t ms)
{
    return pump.wait_until(done, pump.clock().now_us() + ms * 1000), done();
}

} // namespace

bool Is_Periphery_Command(const std::string& word)
{
    static const std::set<std::string> words{"screen", "palette", "almanac", "laps", "flightbook", "send-almanac",
                                             "send-lap", "send-flightbook", "name", "change-name", "icon",
                                             "send-icon", "voltages", "nmea-send"};
    return words.count(word) != 0;
}

Periphery_Command Parse_Periphery_Command(const std::string& cmd, const std::vector<std::string>& args,
                                          std::size_t& i)
{
    Periphery_Command c;
    c.name = cmd;
    auto arg = [&]() -> std::string {
        if (i >= args.size()) throw std::invalid_argument(cmd + " needs a value");
        return args[i++];
    };
    if (cmd == "screen") {
        c.text = arg();
        c.number = 10000;
        if (i < args.size() && !args[i].empty() && std::isdigit(static_cast<unsigned char>(args[i][0])))
            c.number = Number_Argument("screen MS", arg(), 0, 86400000);
    } else if (cmd == "palette" || cmd == "change-name" || cmd == "nmea-send") {
        c.text = arg();
    } else if (cmd == "icon" || cmd == "send-icon") {
        c.number = Number_Argument(cmd + " N", arg(), 0, 32767);
        c.text = arg();
        if (cmd == "send-icon") {
            const std::string bmp = Read_Upload_File(c.text);
            c.bytes.assign(bmp.begin(), bmp.end());
        }
    } else if (const char* kind = upload_kind(cmd)) {
        c.text = arg();
        c.records = Read_Records(c.text, kind);
    }
    return c;
}

json Run_Periphery_Command(const Periphery_Command& c, platform::Dispatch& control,
                           const std::function<void(const json&)>& print)
{
    Brenvik* gps = As_Brenvik(&control);
    if (!gps) throw std::invalid_argument("the object is not a brenvik2006.Brenvik control");
    platform::EventPump& pump = platform::qt_event_pump();
    Periphery_Events ev;
    gps->Advise(&ev);
    struct Disconnect {
        Brenvik* g;
        ~Disconnect() { g->Advise(nullptr); }
    } disconnect{gps};
    const std::string& cmd = c.name;
    json out{{"command", cmd}};
    // Records arriving one by one, each printed at its Receive.
    auto on_packets = [&](std::uint8_t id, std::function<void()> each) {
        ev.on_receive = [id, each](const ByteArray& p) {
            if (p.size() > 1 && p[1] == id) each();
        };
    };
    auto until_complete = [&] {
        const std::uint8_t done = gps->PID_Xfer_Cmplt();
        const auto seen = [&] {
            for (std::uint8_t id : ev.received_ids)
                if (id == done) return true;
            return false;
        };
        return wait(pump, [&] { return seen() || !ev.errors.empty(); }, 20000) && seen();
    };
    if (cmd == "screen") {
        gps->Request_Display();
        wait(pump, [&] { return ev.complete; }, c.number);
        out["complete"] = ev.complete;
        out["progress"] = ev.progress;
        const Picture none;
        const Picture& pic = ev.image ? *ev.image : none;
        out["Palette_File"] = gps->Palette_File();
        out["width"] = pic.Width;
        out["height"] = pic.Height;
        if (ev.complete) write_file(c.text, ppm(pic));
        // An unreadable palette is reported and the screen still comes.
        out["ok"] = !ev.progress.empty() || ev.errors.empty();
    } else if (cmd == "palette") {
        gps->Palette_File(c.text);
    } else if (cmd == "almanac") {
        int n = 0;
        on_packets(gps->PID_Almanac_Data(), [&] { print(To_Json("almanac", *gps->Almanac())), ++n; });
        gps->Request_Almanac_Data();
        out["ok"] = until_complete();
        out["records"] = n;
    } else if (cmd == "laps" || cmd == "flightbook") {
        const bool laps = cmd == "laps";
        int n = 0;
        on_packets(laps ? gps->PID_Lap() : gps->PID_Flightbook_Record(), [&] {
            print(laps ? To_Json("lap", *gps->Lap()) : To_Json("flightbook", *gps->Flightbook_Record()));
            ++n;
        });
        laps ? gps->Request_Laps() : gps->Request_Flightbook();
        out["ok"] = until_complete();
        out["records"] = n;
    } else if (const char* kind = upload_kind(cmd)) {
        std::vector<Upload_Step> steps;
        const std::string k = kind;
        for (const json& j : c.records) {
            if (k == "almanac")
                steps.push_back({&Brenvik::PID_Almanac_Data, [j](Brenvik& g) {
                                     *g.Almanac() = From_Json<cAlmanac>(j, "record");
                                     g.Send_Almanac_Data();
                                 }});
            else if (k == "lap")
                steps.push_back({&Brenvik::PID_Lap, [j](Brenvik& g) {
                                     *g.Lap() = From_Json<cLap>(j, "record");
                                     g.Send_Lap();
                                 }});
            else
                steps.push_back({&Brenvik::PID_Flightbook_Record, [j](Brenvik& g) {
                                     *g.Flightbook_Record() = From_Json<cFlightbook_Record>(j, "record");
                                     g.Send_Flightbook_Record();
                                 }});
        }
        Uploader up(*gps, ev, pump);
        out["ok"] = up.Run(steps);
        out["sent"] = up.Sent();
    } else if (cmd == "name") {
        gps->Request_GPS_Name();
        // A slow line may bring the name after the control stopped waiting.
        wait(pump, [&] { return !gps->Product_Data()->GPS_Name.empty(); }, 3000);
        out["GPS_Name"] = gps->Product_Data()->GPS_Name;
        out["ok"] = !gps->Product_Data()->GPS_Name.empty();
        if (!out["ok"].get<bool>()) out["why"] = "the unit sent no name";
        return out;
    } else if (cmd == "change-name") {
        gps->Change_GPS_Name(c.text);
    } else if (cmd == "icon") {
        std::int32_t seq = static_cast<std::int32_t>(c.number);
        gps->Request_Icon(seq);
        out["seq"] = seq;
        if (seq != -1) wait(pump, [&] { return ev.icons > 0; }, 5000);
        out["icons"] = ev.icons;
        if (ev.icons) write_file(c.text, std::string(ev.bmp.begin(), ev.bmp.end()));
        out["ok"] = ev.icons > 0;
        if (!ev.icons && ev.errors.empty()) out["why"] = "no icon came";
    } else if (cmd == "send-icon") {
        std::int32_t seq = static_cast<std::int32_t>(c.number);
        gps->Send_Icon(seq, c.bytes);
        out["seq"] = seq;
    } else if (cmd == "voltages") {
        gps->Request_Voltages();
        out["Internal_Voltage"] = gps->Voltages()->Internal_Voltage;
        out["External_Voltage"] = gps->Voltages()->External_Voltage;
    } else if (cmd == "nmea-send") {
        std::string message = c.text;
        gps->NMEA_Send(message);
        out["sentence"] = message;
    }
    ev.on_receive = nullptr;
    if (!out.contains("ok")) out["ok"] = ev.errors.empty();
    if (!out["ok"].get<bool>() && !out.contains("why"))
        out["why"] = ev.errors.empty() ? "not complete" : ev.errors.front().message;
    return out;
}

} // namespace brenvik::probe
