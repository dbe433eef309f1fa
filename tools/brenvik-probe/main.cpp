// brenvik-probe: creates the device control by its program identifier,
// sets its port and settings, runs commands and prints every event and the
// records it reads as JSON lines on standard output. The whole command line
// (with an upload's file) is read and checked before anything runs; the
// first command that fails ends the run. `brenvik-probe --help` lists the
// options, the commands and the upload file's form (kHelp below).
#include "tools/brenvik-probe/periphery_commands.h"
#include "tools/brenvik-probe/transfer_commands.h"

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/serial/portmap.h"

#include <QCoreApplication>
#include <QTimer>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using platform::Variant;

const char* const kEvents[] = {"",          "vcReceive",          "Receive",         "HexDebug",   "NMEA",
                               "cError",    "uError",             "vcError",         "ReceiveCounts",
                               "ReceivedWaypoints", "ReceivedRoutes", "ReceivedTracks", "ReceivedFlightbook",
                               "ReceivedLaps", "ReceiveImage",    "ReceiveIcon",     "vcReceiveIcon",
                               "USBprogress"};

std::string hex(const platform::Bytes& b)
{
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i) s += ' ';
        s += d[b[i] >> 4];
        s += d[b[i] & 15];
    }
    return s;
}

// Texts from the control are UTF-8; anything else is shown as \u escapes.
json value(const Variant& v)
{
    switch (v.Type()) {
    case platform::VarType::Empty: return nullptr;
    case platform::VarType::Boolean: return v.ToBool();
    case platform::VarType::String: return v.ToString();
    case platform::VarType::Single:
    case platform::VarType::Double: return v.ToDouble();
    case platform::VarType::ByteArray: return hex(v.ToBytes());
    case platform::VarType::Byte:
    case platform::VarType::Integer:
    case platform::VarType::Long: return v.ToInt32();
    case platform::VarType::Object: {
        auto o = v.ToObject();
        if (!o) return nullptr;
        if (auto count = o->GetIDOfName("Count")) {
            std::vector<Variant> none;
            return json{{"Count", o->Invoke(*count, platform::InvokeKind::PropertyGet, none).ToInt32()}};
        }
        return "object";
    }
    default: return v.ToDouble();
    }
}

void print(const json& j)
{
    std::cout << j.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl;
}

// Prints every event; keeps the messages of the error events.
struct Printer : platform::EventSink {
    std::vector<std::string> errors;
    void Invoke(platform::DispId id, std::vector<Variant>& args) override
    {
        json j{{"event", id >= 1 && id <= 17 ? kEvents[id] : std::to_string(id)}};
        json a = json::array();
        for (const Variant& v : args) a.push_back(value(v));
        j["args"] = a;
        print(j);
        // cError, uError, vcError: the code, then the message.
        if (id >= 5 && id <= 7) errors.push_back(args.size() > 1 ? args[1].ToString() : "error");
    }
};

const char* const kProductFields[] = {"Product_ID", "Software_Version", "Product_Description_1",
                                      "Product_Description_2", "Product_Description_3", "Product_Description_4",
                                      "Product_Description_5", "Product_Description_6", "Unit_ID"};
const char* const kNames[] = {
    "Link_Protocol",          "WayPoint_Transfer_Protocol", "Waypoint_Data_Format",     "Route_Transfer_Protocol",
    "Route_Header_Format",    "Route_Wpt_Data_Format",      "Route_Link_Format",        "Track_Transfer_Protocol",
    "Track_Header_Format",    "Track_Point_Format",         "Prox_Wpt_Transfer_Protocol", "Prox_Wpt_Data_Format",
    "Almanac_Transfer_Protocol", "Almanac_Data_Format",     "Date_Transfer_Protocol",   "Date_Data_Format",
    "Posn_Transfer_Protocol", "Posn_Data_Format",           "Pvt_Transfer_Protocol",    "Pvt_Data_Format",
    "Flightbook_Transfer_Protocol", "Flightbook_Data_Format", "Laps_Transfer_Protocol", "Laps_Data_Format",
    "PID_Command_Data",       "PID_Wpt_Data",               "PID_Rte_Wpt_Data",         "PID_Records",
    "CMND_Transfer_Wpt"};

const char* const kHelp = R"(usage: brenvik-probe [OPTION]... COMMAND...
Creates the device control (brenvik2006.Brenvik), runs the commands in order
and prints the control's events and each command's result as JSON lines on
standard output.

Options:
  --port N           port N: 1 to 32767 is serial port N (the device that
                     TREKFOLD_COM<N> names, else the N-th of the system's
                     serial devices), 0 is the USB receiver
  --settings TEXT    line settings, such as "9600,N,8,1"
  --lib FILE         load the control from FILE (default: the program folder)
  --debug            switch the control's debug log on (DebugLog)
  --help             print this help and exit

Commands:
  open               open the port; without it the port opens before the
                     first command that talks to the unit
  close              close the port
  port N             use port N from here on (0 to 32767, as --port)
  settings TEXT      use the line settings TEXT from here on
  product            identify the unit: product data and protocol names
  findbaud SETTINGS  find the unit's speed, starting from SETTINGS
  change-baud BAUD   ask the unit to change speed (1 to 4000000), then follow
  send HEX...        send one packet: ID, size and data as hex bytes
                     ("0A 02 07 00"; DLE framing and checksum are added)
  wait MS            let events run for MS milliseconds (0 to 86400000)
  waypoints          download the waypoints, a line each
  proxwaypoints      download the proximity waypoints, a line each
  routes             download the routes, a line each with its points
  tracks             download the tracks, a line each with its points
  datetime           read the unit's date and time
  position           read the unit's position
  pvt SECONDS        print the unit's PVT records for SECONDS (0 to 86400)
  counts             read how many waypoints, proximity waypoints, routes
                     and tracks the unit holds
  upload FILE        identify the unit, then upload the records of FILE in
                     the unit's own formats, one transfer per kind
  screen FILE [MS]   capture the unit's screen (events run until the 100 %
                     event or MS ms, default 10000); the picture goes to FILE
                     as a binary PPM; prints complete, width, height, progress
  palette PATH       colour 8-bit screens from the JASC palette file PATH
                     ("" for the unit's colours and the default file)
  almanac            download the almanac, a line per record
  laps               download the laps, a line per record
  flightbook         download the flight book, a line per record
  send-almanac FILE  upload the "almanac" lines of FILE, one per acknowledgement
  send-lap FILE      upload the "lap" lines of FILE
  send-flightbook FILE  upload the "flightbook" lines of FILE
  name               read the unit's name
  change-name TEXT   give the unit a new name
  icon N FILE        read custom icon N; its BMP goes to FILE
  send-icon N FILE   send the BMP of FILE as custom icon N (USB only)
  voltages           read the unit's supply voltages
  nmea-send TEXT     send one NMEA sentence (its checksum completed) to the
                     serial port

Upload file: JSON lines as the downloads print them, each a record
  {"kind": "waypoint" | "proximity" | "route" | "track", ...}
(the probe's other lines are passed over, so a saved download uploads as it
is), or one object
  {"waypoints": [...], "proximity": [...], "routes": [...], "tracks": [...]}
Records (every key may be left out):
  waypoint, proximity: {"ident": "HOME", "lat": 45.5, "lon": -93.25,
      "comment", "symbol", "display", "color", "alt", "depth", "dist", "temp",
      "class", "subclass", "prox_index", "category", "state", "country",
      "city", "address", "facility", "cross_road", "link",
      "time": "2024-05-01T12:00:00Z"}
  route: {"number": 1, "ident": "TO CAMP", "comment",
      "points": [waypoint, ...], "links": [{"class", "subclass", "ident"}, ...]}
  track: {"ident": "ACTIVE LOG", "color", "display": true,
      "points": [{"lat", "lon", "time", "alt", "depth", "temp",
                  "new_segment": true}, ...]}
"lat" is -90 to 90 and "lon" -180 to 180 degrees; a transfer carries at most
32767 packets. The whole file is checked before anything is sent.

Exit status: 0 when every command did what it asked; 1 when one failed (the
port did not open, the unit did not answer, a transfer did not complete),
and the probe stops there; 2 for a bad command line or upload file, before
anything is sent.
)";

// A bad command line: nothing has been sent. (Every std::invalid_argument
// is one: the checks throw it before anything runs.)
using Usage_Error = std::invalid_argument;

bool is_command(const std::string& s)
{
    static const std::set<std::string> words{"open", "product", "findbaud", "change-baud", "send", "wait", "close", "port", "settings"};
    return words.count(s) != 0 || brenvik::probe::Is_Transfer_Command(s) || brenvik::probe::Is_Periphery_Command(s);
}

// One command with its arguments read and checked.
struct Command {
    std::string name;
    std::string text;         // findbaud, settings
    std::int64_t number = 0;  // port, change-baud, wait
    platform::Bytes bytes;    // send
    brenvik::probe::Transfer_Command transfer;
    brenvik::probe::Periphery_Command periphery;
};

std::int16_t port_number(const std::string& what, const std::string& text)
{
    return static_cast<std::int16_t>(brenvik::probe::Number_Argument(what, text, 0, 32767));
}

std::uint8_t hex_byte(const std::string& text)
{
    const bool ok = !text.empty() && text.size() <= 2 &&
                    text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!ok) throw Usage_Error("send: \"" + text + "\" is not a hex byte (00 to FF)");
    return static_cast<std::uint8_t>(std::stoi(text, nullptr, 16));
}

std::vector<Command> parse_commands(const std::vector<std::string>& args, std::size_t i)
{
    std::vector<Command> out;
    while (i < args.size()) {
        Command c;
        c.name = args[i++];
        auto arg = [&]() -> std::string {
            if (i >= args.size()) throw Usage_Error(c.name + " needs a value");
            return args[i++];
        };
        if (c.name == "findbaud" || c.name == "settings") {
            c.text = arg();
        } else if (c.name == "port") {
            c.number = port_number("port N", arg());
        } else if (c.name == "change-baud") {
            c.number = brenvik::probe::Number_Argument("change-baud BAUD", arg(), 1, 4000000);
        } else if (c.name == "wait") {
            c.number = brenvik::probe::Number_Argument("wait MS", arg(), 0, 86400000);
        } else if (c.name == "send") {
            while (i < args.size() && !is_command(args[i])) c.bytes.push_back(hex_byte(args[i++]));
            if (c.bytes.empty()) throw Usage_Error("send needs the packet's bytes in hex");
        } else if (brenvik::probe::Is_Transfer_Command(c.name)) {
            c.transfer = brenvik::probe::Parse_Transfer_Command(c.name, args, i);
        } else if (brenvik::probe::Is_Periphery_Command(c.name)) {
            c.periphery = brenvik::probe::Parse_Periphery_Command(c.name, args, i);
        } else if (c.name != "open" && c.name != "close" && c.name != "product") {
            throw Usage_Error("unknown command " + c.name);
        }
        out.push_back(std::move(c));
    }
    return out;
}

// Why port n did not open, looked up the way the control finds its device.
std::string open_failure(int port)
{
    if (port == 0) return "no USB receiver could be opened";
    const std::string n = std::to_string(port);
    const auto path = platform::PortMap().device(port);
    if (!path || path->empty()) return "no device is mapped to it (TREKFOLD_COM" + n + " names one)";
    const std::string& p = *path;
    struct stat st{};
    if (::stat(p.c_str(), &st) != 0)
        return errno == ENOENT ? p + " is missing" : p + ": " + std::strerror(errno);
    if (!S_ISCHR(st.st_mode)) return p + " is not a terminal";
    const int fd = ::open(p.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) return "permission denied on " + p;
        if (errno == EBUSY) return p + " is busy: another program holds it";
        if (errno == ENOENT || errno == ENXIO || errno == ENODEV) return p + " is missing";
        return p + ": " + std::strerror(errno);
    }
    std::string why = p + " could not be set up as a serial port";
    if (!::isatty(fd)) why = p + " is not a terminal";
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) why = p + " is busy: another program holds it";
    ::close(fd);
    return why;
}

// The failure of one command: the probe says why and stops.
struct Command_Failed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int run(std::vector<std::string> args)
{
    platform::ClassRegistry registry;
    std::size_t i = 0;
    std::string lib;
    std::vector<std::pair<std::string, Variant>> props;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= args.size()) throw Usage_Error(a + " needs a value");
            return args[++i];
        };
        if (a == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (a == "--lib")
            lib = next();
        else if (a == "--port")
            props.emplace_back("Port", Variant(port_number("--port", next())));
        else if (a == "--settings")
            props.emplace_back("Settings", Variant(next()));
        else if (a == "--debug")
            props.emplace_back("DebugLog", Variant(true));
        else
            throw Usage_Error("unknown option " + a);
    }
    if (i >= args.size()) throw Usage_Error("no command");
    const std::vector<Command> commands = parse_commands(args, i);

    if (!lib.empty()) registry.LoadLibrary(lib);
    platform::ObjectRef control = registry.CreateObject("brenvik2006.Brenvik");
    auto printer = std::make_shared<Printer>();
    control->Advise(printer);
    for (auto& [name, v] : props) platform::LetByName(*control, name, v);

    auto settings = [&] { return platform::GetByName(*control, "Settings").ToString(); };
    auto fail = [&](json out, const std::string& why) {
        out["Settings"] = settings();
        print(out);
        platform::CallByName(*control, "PortClose");
        throw Command_Failed(out["command"].get<std::string>() + " failed: " + why);
    };
    auto open = [&](json out) {
        if (platform::CallByName(*control, "PortOpen").ToBool()) return out;
        out["result"] = false;
        fail(out, "cannot open port " + std::to_string(platform::GetByName(*control, "Port").ToInt32()) + ": " +
                      open_failure(platform::GetByName(*control, "Port").ToInt32()));
        return out;
    };

    // Without an explicit "open" the port opens before the first command
    // that talks to the receiver (findbaud opens it itself).
    bool has_open = false;
    for (const Command& c : commands)
        if (c.name == "open") has_open = true;
    bool open_pending = !has_open;
    auto needs_port = [](const std::string& c) {
        return c == "product" || c == "change-baud" || c == "send" || brenvik::probe::Is_Transfer_Command(c) ||
               (brenvik::probe::Is_Periphery_Command(c) && c != "palette");
    };

    for (const Command& c : commands) {
        const std::string& cmd = c.name;
        if (cmd == "findbaud") open_pending = false;
        if (open_pending && needs_port(cmd)) {
            open_pending = false;
            json o = open(json{{"command", "open"}});
            o["result"] = true;
            o["Settings"] = settings();
            print(o);
        }
        const std::size_t errors = printer->errors.size();
        // The first error event raised while the command ran, if any.
        auto error = [&]() -> std::optional<std::string> {
            if (printer->errors.size() == errors) return std::nullopt;
            return printer->errors[errors];
        };
        json out{{"command", cmd}};
        if (cmd == "open") {
            out = open(out);
            out["result"] = true;
        } else if (cmd == "close") {
            platform::CallByName(*control, "PortClose");
        } else if (cmd == "product") {
            platform::CallByName(*control, "Request_Product_Data");
            auto pd = platform::GetByName(*control, "Product_Data").ToObject();
            json rec;
            for (const char* f : kProductFields) rec[f] = value(platform::GetByName(*pd, f));
            out["Product_Data"] = rec;
            json names;
            for (const char* n : kNames) names[n] = value(platform::GetByName(*control, n));
            out["protocols"] = names;
            if (auto e = error()) fail(out, *e);
        } else if (cmd == "findbaud") {
            out["result"] = platform::CallByName(*control, "FindBaud", {Variant(c.text)}).ToInt32();
            if (out["result"] == 0) fail(out, error().value_or("no speed found"));
        } else if (cmd == "change-baud") {
            out["result"] =
                platform::CallByName(*control, "Change_Baud_Rate", {Variant(std::int32_t(c.number))}).ToBool();
            if (out["result"] == false) fail(out, error().value_or("the unit did not change its speed"));
        } else if (cmd == "send") {
            platform::Bytes packet{0x10};
            packet.insert(packet.end(), c.bytes.begin(), c.bytes.end());
            packet.insert(packet.end(), {0, 0x10, 0x03});
            const Variant sent = platform::CallByName(*control, "Send", {Variant(packet)});
            if (sent.Type() == platform::VarType::Boolean) out["result"] = sent.ToBool();
            if (auto e = error()) fail(out, *e);
            if (out.value("result", true) == false) fail(out, "the packet was not sent");
        } else if (cmd == "port") {
            platform::LetByName(*control, "Port", Variant(std::int16_t(c.number)));
            out["Port"] = platform::GetByName(*control, "Port").ToInt32();
            // A new port is opened again before the next command that needs it.
            if (!has_open) open_pending = true;
        } else if (cmd == "settings") {
            platform::LetByName(*control, "Settings", Variant(c.text));
        } else if (brenvik::probe::Is_Transfer_Command(cmd)) {
            out = brenvik::probe::Run_Transfer_Command(c.transfer, *control, print);
            if (out["ok"] == false) fail(out, out.value("why", std::string("not complete")));
        } else if (brenvik::probe::Is_Periphery_Command(cmd)) {
            out = brenvik::probe::Run_Periphery_Command(c.periphery, *control, print);
            if (out["ok"] == false) fail(out, out.value("why", std::string("not complete")));
        } else if (cmd == "wait") {
            platform::CallByName(*control, "WaitFor", {Variant(std::int32_t(std::max<std::int64_t>(30, c.number)))});
        }
        out["Settings"] = settings();
        print(out);
    }
    platform::CallByName(*control, "PortClose");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    int rc = 0;
    // Commands run on the event loop, as a host's calls do; their waits let
    // the loop's events run.
    QTimer::singleShot(0, [&] {
        try {
            rc = run(args);
        } catch (const std::invalid_argument& e) {
            std::fprintf(stderr, "brenvik-probe: %s\n(brenvik-probe --help lists the options and commands)\n", e.what());
            rc = 2;
        } catch (const Command_Failed& e) {
            std::fprintf(stderr, "brenvik-probe: %s\n", e.what());
            rc = 1;
        } catch (const platform::VbError& e) {
            std::fprintf(stderr, "brenvik-probe: error %d: %s\n", e.number, e.description.c_str());
            rc = 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "brenvik-probe: %s\n", e.what());
            rc = 1;
        }
        app.quit();
    });
    app.exec();
    return rc;
}
