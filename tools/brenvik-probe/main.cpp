// brenvik-probe: creates the device control by its program identifier,
// sets its port and settings, runs commands and prints every event and the
// records it reads as JSON lines on standard output.
//
//   brenvik-probe [--lib FILE] [--port N] [--settings TEXT] [--debug] COMMAND...
//
// Commands (run in order):
//   open                 PortOpen
//   product              Request_Product_Data, then the product data and
//                        the protocol names
//   findbaud SETTINGS    FindBaud
//   change-baud BAUD     Change_Baud_Rate, then the settings in force
//   send HEX...          Send of a packet given as hex bytes ("0A 02 07 00",
//                        the leading DLE and the trailing checksum, DLE, ETX
//                        are added), until the next command word
//   wait MS              let events run for MS milliseconds
//   close                PortClose
//   port N               Port = N (the next open uses it)
//   settings TEXT        Settings = TEXT
// and the transfer commands of transfer_commands.h (waypoints, routes,
// tracks, upload FILE ...).
// A command line without "open" opens the port (PortOpen) before the first
// command that talks to the receiver, as a host does before it asks.
// Serial port n is the device TREKFOLD_COM<n> names (or the settings and the
// system's serial devices; see the port map).
#include "tools/brenvik-probe/transfer_commands.h"

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"

#include <QCoreApplication>
#include <QTimer>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
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

struct Printer : platform::EventSink {
    void Invoke(platform::DispId id, std::vector<Variant>& args) override
    {
        json j{{"event", id >= 1 && id <= 17 ? kEvents[id] : std::to_string(id)}};
        json a = json::array();
        for (const Variant& v : args) a.push_back(value(v));
        j["args"] = a;
        print(j);
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

int usage(const std::string& why)
{
    std::fprintf(stderr,
                 "brenvik-probe: %s\nusage: brenvik-probe [--lib FILE] [--port N] [--settings TEXT] [--debug] "
                 "COMMAND...\n  commands: open | product | findbaud SETTINGS | change-baud BAUD | send HEX... | "
                 "wait MS | close | port N | settings TEXT\n",
                 why.c_str());
    return 2;
}

bool is_command(const std::string& s)
{
    static const std::set<std::string> words{"open", "product", "findbaud", "change-baud", "send", "wait", "close", "port", "settings"};
    return words.count(s) != 0 || brenvik::probe::Is_Transfer_Command(s);
}

int run(std::vector<std::string> args)
{
    platform::ClassRegistry registry;
    std::size_t i = 0;
    std::string lib;
    std::vector<std::pair<std::string, Variant>> props;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "--lib")
            lib = next();
        else if (a == "--port")
            props.emplace_back("Port", Variant(std::int16_t(std::stoi(next()))));
        else if (a == "--settings")
            props.emplace_back("Settings", Variant(next()));
        else if (a == "--debug")
            props.emplace_back("DebugLog", Variant(true));
        else
            return usage("unknown option " + a);
    }
    if (i >= args.size()) return usage("no command");

    if (!lib.empty()) registry.LoadLibrary(lib);
    platform::ObjectRef control = registry.CreateObject("brenvik2006.Brenvik");
    control->Advise(std::make_shared<Printer>());
    for (auto& [name, v] : props) platform::LetByName(*control, name, v);

    // Without an explicit "open" the port opens before the first command
    // that talks to the receiver (findbaud opens it itself).
    bool has_open = false;
    for (std::size_t k = i; k < args.size(); ++k)
        if (args[k] == "open") has_open = true;
    bool open_pending = !has_open;
    auto needs_port = [](const std::string& c) {
        return c == "product" || c == "change-baud" || c == "send" || brenvik::probe::Is_Transfer_Command(c);
    };

    while (i < args.size()) {
        const std::string cmd = args[i++];
        if (cmd == "findbaud") open_pending = false;
        if (open_pending && needs_port(cmd)) {
            open_pending = false;
            print(json{{"command", "open"},
                       {"result", platform::CallByName(*control, "PortOpen").ToBool()},
                       {"Settings", platform::GetByName(*control, "Settings").ToString()}});
        }
        auto arg = [&]() -> std::string {
            if (i >= args.size()) throw std::invalid_argument(cmd + " needs a value");
            return args[i++];
        };
        json out{{"command", cmd}};
        if (cmd == "open") {
            out["result"] = platform::CallByName(*control, "PortOpen").ToBool();
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
        } else if (cmd == "findbaud") {
            out["result"] = platform::CallByName(*control, "FindBaud", {Variant(arg())}).ToInt32();
        } else if (cmd == "change-baud") {
            std::int32_t baud = std::stoi(arg());
            out["result"] = platform::CallByName(*control, "Change_Baud_Rate", {Variant(baud)}).ToBool();
        } else if (cmd == "send") {
            platform::Bytes body;
            while (i < args.size() && !is_command(args[i])) body.push_back(std::uint8_t(std::stoi(args[i++], nullptr, 16)));
            platform::Bytes packet{0x10};
            packet.insert(packet.end(), body.begin(), body.end());
            packet.insert(packet.end(), {0, 0x10, 0x03});
            platform::CallByName(*control, "Send", {Variant(packet)});
        } else if (cmd == "port") {
            platform::LetByName(*control, "Port", Variant(std::int16_t(std::stoi(arg()))));
            out["Port"] = platform::GetByName(*control, "Port").ToInt32();
            // A new port is opened again before the next command that needs it.
            if (!has_open) open_pending = true;
        } else if (cmd == "settings") {
            platform::LetByName(*control, "Settings", Variant(arg()));
        } else if (brenvik::probe::Is_Transfer_Command(cmd)) {
            out = brenvik::probe::Run_Transfer_Command(cmd, args, i, *control, print);
        } else if (cmd == "wait") {
            platform::CallByName(*control, "WaitFor", {Variant(std::int32_t(std::max(30, std::stoi(arg()))))});
        } else {
            return usage("unknown command " + cmd);
        }
        out["Settings"] = platform::GetByName(*control, "Settings").ToString();
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
        } catch (const platform::VbError& e) {
            std::fprintf(stderr, "brenvik-probe: error %d: %s\n", e.number, e.description.c_str());
            rc = 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "brenvik-probe: %s\n", e.what());
            rc = 2;
        }
        app.quit();
    });
    app.exec();
    return rc;
}
