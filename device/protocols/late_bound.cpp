// The control's late-bound face: every member of `_Brenvik` by name and by
// its dispatch identifier, with the automation types of its arguments.
#include "device/protocols/detail/control.h"
#include "device/protocols/detail/record_objects.h"

#include "platform/automation/vb_error.h"

namespace brenvik {

using platform::DispId;
using platform::InvokeKind;
using platform::Variant;

namespace {

constexpr DispId Object_Id(int n) { return 0x40030000 + n; }
constexpr DispId Method_Id(int n) { return 0x60030000 + n; }
constexpr DispId Property_Id(int n) { return 0x68030000 + n; }

using Args = std::vector<Variant>;
using Method = Variant (*)(Control&, Args&);

struct Method_Row {
    const char* name;
    int n;
    int min_args, max_args;
    Method fn;
};

#define NOARGS(Name, n) Method_Row{#Name, n, 0, 0, [](Control& c, Args&) { c.Name(); return Variant(); }}

const Method_Row kMethods[] = {
    {"FindBaud", 0x54, 1, 1, [](Control& c, Args& a) { return Variant(c.FindBaud(a[0].ToString())); }},
    {"PortOpen", 0x55, 0, 0, [](Control& c, Args&) { return Variant(c.PortOpen()); }},
    NOARGS(PortClose, 0x56),
    {"TrimNull", 0x5D, 1, 1,
     [](Control& c, Args& a) {
         // By reference: the caller's variable loses its blanks.
         std::string s = a[0].ToString();
         std::string r = c.TrimNull(s);
         a[0] = Variant(s);
         return Variant(r);
     }},
    NOARGS(Reset, 0x61),
    {"Address_Of", 0x66, 1, 1, [](Control& c, Args& a) { return Variant(c.Address_Of(a[0].ToInt32())); }},
    {"WaitFor", 0x73, 1, 1, [](Control& c, Args& a) { c.WaitFor(a[0].ToInt32()); return Variant(); }},
    NOARGS(Request_Product_Data, 0x75),
    {"Start_of_Records", 0x76, 1, 1,
     [](Control& c, Args& a) { c.Start_of_Records(a[0].ToInt16()); return Variant(); }},
    NOARGS(Power_Off, 0x77),
    NOARGS(Request_Date_Time, 0x78),
    NOARGS(Pvt_Data_Start, 0x79),
    NOARGS(Async_Start, 0x7A),
    NOARGS(Pvt_Data_Stop, 0x7B),
    NOARGS(Async_Stop, 0x7C),
    NOARGS(Request_Waypoints, 0x7D),
    NOARGS(Request_Flightbook, 0x7E),
    NOARGS(Request_Laps, 0x7F),
    NOARGS(Request_Prox_Waypoints, 0x80),
    NOARGS(Request_Routes, 0x81),
    NOARGS(Request_Tracks, 0x82),
    NOARGS(Send_Route_Header, 0x87),
    NOARGS(Send_Track, 0x88),
    NOARGS(Send_Flightbook_Record, 0x89),
    NOARGS(End_of_Records, 0x8A),
    NOARGS(Send_Waypoint, 0x96),
    NOARGS(Send_Prox_Waypoint, 0x97),
    NOARGS(Send_Route_Waypoint, 0x98),
    {"NMEA_Checksum", 0x99, 1, 1, [](Control& c, Args& a) { return Variant(c.NMEA_Checksum(a[0].ToString())); }},
    NOARGS(Send_Track_Header, 0x9A),
    NOARGS(Send_Route_Link, 0x9D),
    NOARGS(Request_Voltages, 0x9E),
    NOARGS(Request_Display, 0xA0),
    NOARGS(Request_Almanac_Data, 0xA5),
    NOARGS(Request_Position_Data, 0xA6),
    NOARGS(Send_Almanac_Data, 0xA7),
    NOARGS(Send_Position_Data, 0xA8),
    NOARGS(Request_Counts, 0xA9),
    {"Send", 0xB0, 1, 3,
     [](Control& c, Args& a) {
         // An omitted optional argument is 0.
         std::uint8_t response = a.size() > 1 && !a[1].IsMissing() ? a[1].ToByte() : 0;
         std::int32_t wait = a.size() > 2 && !a[2].IsMissing() ? a[2].ToInt32() : 0;
         c.Send_Reference(a[0].ToBytes(), response, wait);
         // Response and WaitTime are the caller's variables.
         if (a.size() > 1 && !a[1].IsMissing()) a[1] = Variant(response);
         if (a.size() > 2 && !a[2].IsMissing()) a[2] = Variant(wait);
         return Variant();
     }},
    {"Change_Baud_Rate", 0xB3, 1, 1, [](Control& c, Args& a) { return Variant(c.Change_Baud_Rate(a[0].ToInt32())); }},
    NOARGS(Send_Lap, 0xB7),
    {"Change_GPS_Name", 0xB8, 1, 1, [](Control& c, Args& a) { c.Change_GPS_Name(a[0].ToString()); return Variant(); }},
    {"Request_Icon", 0xB9, 1, 1,
     [](Control& c, Args& a) {
         std::int32_t seq = a[0].ToInt32();
         c.Request_Icon(seq);
         a[0] = Variant(seq);
         return Variant();
     }},
    {"Send_Icon", 0xBA, 2, 2,
     [](Control& c, Args& a) {
         std::int32_t seq = a[0].ToInt32();
         c.Send_Icon(seq, a[1].ToBytes());
         a[0] = Variant(seq);
         return Variant();
     }},
    {"xLate", 0xBB, 1, 1, [](Control& c, Args& a) { return Variant(c.xLate(a[0].ToString())); }},
    NOARGS(Request_GPS_Name, 0xBC),
    {"NMEA_Send", 0xBD, 1, 1,
     [](Control& c, Args& a) {
         std::string message = a[0].ToString();
         c.NMEA_Send(message);
         a[0] = Variant(message);
         return Variant();
     }},
    {"tf_test", 0xC0, 1, 1, [](Control& c, Args& a) { return Variant(c.tf_test(a[0].ToString())); }},
};
#undef NOARGS

// Object-valued properties: read, and assign by reference.
struct Object_Row {
    const char* name;
    int n;
    Variant (*get)(Control&);
    void (*set)(Control&, const platform::ObjectRef&);
};

#define OBJ(Name, n, T)                                                                                                \
    Object_Row{#Name, n, [](Control& c) { return Variant(Wrap(c.Name())); },                                          \
               [](Control& c, const platform::ObjectRef& o) { c.Name(Unwrap<T>(o)); }}

const Object_Row kObjects[] = {
    OBJ(Waypoint, 0x3, cWaypoint),
    OBJ(Route, 0x5, cRoute),
    OBJ(Track, 0x7, cTrack),
    OBJ(Position, 0x9, cPosition),
    OBJ(PvtData, 0xA, cPvtData),
    OBJ(Date_Time, 0xB, cDate_Time),
    OBJ(Voltages, 0xC, cVoltages),
    OBJ(Display, 0xD, cDisplay),
    OBJ(Almanac, 0xE, cAlmanac),
    OBJ(Product_Data, 0xF, cProduct_Data),
    OBJ(Counts, 0x10, cRecord_Counts),
    OBJ(Flightbook_Record, 0x11, cFlightbook_Record),
    OBJ(Lap, 0x13, cLap),
    Object_Row{"Laps", 0x14, [](Control& c) { return Variant(Wrap_List(c.Laps())); },
               [](Control& c, const platform::ObjectRef& o) { c.Laps(Unwrap_List<cLap>(o)); }},
    OBJ(sat, 0x15, cSat),
    Object_Row{"Sats", 0x16, [](Control& c) { return Variant(Wrap_List(c.Sats())); },
               [](Control& c, const platform::ObjectRef& o) { c.Sats(Unwrap_List<cSat>(o)); }},
};
#undef OBJ

// The assignable properties that live in the control itself (the protocol
// family, with Port, Settings and IgnoreCheckSum, is the link's table).
struct Value_Row {
    const char* name;
    int n;
    Variant (*get)(Control&);
    void (*let)(Control&, const Variant&);
};

const Value_Row kValues[] = {
    {"UserFlowControl", 0xE, [](Control& c) { return Variant(c.UserFlowControl()); },
     [](Control& c, const Variant& v) { c.UserFlowControl(v.ToBool()); }},
    {"DebugLog", 0xD, [](Control& c) { return Variant(c.DebugLog()); },
     [](Control& c, const Variant& v) { c.DebugLog(v.ToBool()); }},
    {"Time_Out", 0x6, [](Control& c) { return Variant(c.Time_Out()); },
     [](Control& c, const Variant& v) { c.Time_Out(v.ToInt16()); }},
    {"RTSEnable", 0x4, [](Control& c) { return Variant(c.RTSEnable()); },
     [](Control& c, const Variant& v) { c.RTSEnable(v.ToBool()); }},
    {"DTREnable", 0x3, [](Control& c) { return Variant(c.DTREnable()); },
     [](Control& c, const Variant& v) { c.DTREnable(v.ToBool()); }},
    {"Handshaking", 0x2, [](Control& c) { return Variant(std::int32_t(c.Handshaking())); },
     [](Control& c, const Variant& v) { c.Handshaking(static_cast<Handshaking_Values>(v.ToInt16())); }},
    {"Language", 0x1, [](Control& c) { return Variant(c.Language()); },
     [](Control& c, const Variant& v) { c.Language(v.ToString()); }},
    {"Palette_File", 0x0, [](Control& c) { return Variant(c.Palette_File()); },
     [](Control& c, const Variant& v) { c.Palette_File(v.ToString()); }},
    {"Port", 0x15, [](Control& c) { return Variant(c.Port()); },
     [](Control& c, const Variant& v) { c.Port(v.ToInt16()); }},
    {"Settings", 0x11, [](Control& c) { return Variant(c.Settings()); },
     [](Control& c, const Variant& v) { c.Settings(v.ToString()); }},
    {"IgnoreCheckSum", 0x14, [](Control& c) { return Variant(c.IgnoreCheckSum()); },
     [](Control& c, const Variant& v) { c.IgnoreCheckSum(v.ToBool()); }},
};

Variant from_prop(const PropValue& v)
{
    return std::visit([](const auto& x) { return Variant(x); }, v);
}

[[noreturn]] void no_member() { throw platform::VbError(438, "", "Object doesn't support this property or method"); }
[[noreturn]] void bad_call() { throw platform::VbError(450, "", "Wrong number of arguments or invalid property assignment"); }

} // namespace

std::optional<DispId> Control::GetIDOfName(std::string_view name) const
{
    for (const auto& m : kMethods)
        if (platform::NameEquals(m.name, name)) return Method_Id(m.n);
    for (const auto& o : kObjects)
        if (platform::NameEquals(o.name, name)) return Object_Id(o.n);
    for (const auto& v : kValues)
        if (platform::NameEquals(v.name, name)) return Property_Id(v.n);
    if (const PropertyEntry* e = find_property(name)) return e->dispid;
    return std::nullopt;
}

Variant Control::Invoke(DispId id, InvokeKind kind, std::vector<Variant>& args)
{
    bool get = kind == InvokeKind::Method || kind == InvokeKind::PropertyGet;
    for (const auto& m : kMethods) {
        if (Method_Id(m.n) != id) continue;
        if (!get || int(args.size()) < m.min_args || int(args.size()) > m.max_args) bad_call();
        return m.fn(*this, args);
    }
    for (const auto& o : kObjects) {
        if (Object_Id(o.n) != id) continue;
        if (get) {
            if (!args.empty()) bad_call();
            return o.get(*this);
        }
        if (kind != InvokeKind::PropertyPutRef || args.size() != 1) bad_call();
        o.set(*this, args[0].ToObject());
        return {};
    }
    for (const auto& v : kValues) {
        if (Property_Id(v.n) != id) continue;
        if (get) {
            if (!args.empty()) bad_call();
            return v.get(*this);
        }
        if (args.size() != 1) bad_call();
        v.let(*this, args[0]);
        return {};
    }
    const PropertyEntry* e = find_property(id);
    if (!e) no_member();
    if (get) {
        if (!args.empty() || !e->readable) bad_call();
        auto value = get_property(props_, e->name);
        if (!value) bad_call();
        return from_prop(*value);
    }
    // Every assignment that reaches the protocol family is refused with 383,
    // but PID_Expanded_Length has no assignment at all (its twin refuses).
    if (args.size() != 1 || (e->readable && std::string_view(e->name) == "PID_Expanded_Length")) bad_call();
    host_set_property(props_, e->name, PropValue(std::int32_t(0)), sak_);
    return {};
}

void* Control::QueryInterface(std::string_view iid)
{
    if (iid == IID__Brenvik) return static_cast<Brenvik*>(this);
    return nullptr;
}

} // namespace brenvik
