#include "device/link/properties.h"

#include "device/link/translate.h"
#include "platform/automation/vb_error.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace brenvik {

namespace {

// The library's version numbers (major, minor, build, revision).
constexpr int kMajor = 2, kMinor = 4, kRevision = 3;

using P = ProtocolProperties;
struct NoMember {};
using Member = std::variant<NoMember, std::string P::*, std::uint8_t P::*, std::int16_t P::*,
                            std::int32_t P::*, bool P::*>;

struct Row {
    PropertyEntry e;
    Member m;
};

constexpr std::int32_t D(int n) { return 0x68030000 + n; }

#define TXT(name, n) Row{{#name, D(n), PropType::Text, true, false}, &P::name}
#define BYT(name, n) Row{{#name, D(n), PropType::Byte, true, false}, &P::name}

const std::array<Row, 75> kRows = {{
    TXT(Link_Protocol, 0x52),
    TXT(WayPoint_Transfer_Protocol, 0x51),
    TXT(Laps_Transfer_Protocol, 0x50),
    TXT(Flightbook_Transfer_Protocol, 0x4F),
    TXT(Route_Transfer_Protocol, 0x4D),
    TXT(Track_Transfer_Protocol, 0x4C),
    TXT(Prox_Wpt_Transfer_Protocol, 0x4B),
    TXT(Waypoint_Data_Format, 0x4A),
    TXT(Laps_Data_Format, 0x49),
    TXT(Flightbook_Data_Format, 0x48),
    TXT(Route_Header_Format, 0x47),
    TXT(Route_Link_Format, 0x46),
    TXT(Route_Wpt_Data_Format, 0x45),
    TXT(Track_Header_Format, 0x44),
    TXT(Track_Point_Format, 0x43),
    TXT(Prox_Wpt_Data_Format, 0x42),
    TXT(Date_Data_Format, 0x41),
    TXT(Date_Transfer_Protocol, 0x40),
    TXT(Posn_Transfer_Protocol, 0x3F),
    TXT(Pvt_Transfer_Protocol, 0x3E),
    TXT(Posn_Data_Format, 0x3D),
    TXT(Pvt_Data_Format, 0x3C),
    TXT(Almanac_Transfer_Protocol, 0x10),
    TXT(Almanac_Data_Format, 0x0F),
    BYT(CMND_Reset_Transfer, 0x3B),
    BYT(CMND_Transfer_Alm, 0x3A),
    BYT(CMND_Transfer_Posn, 0x39),
    BYT(CMND_Transfer_Flightbook, 0x38),
    BYT(CMND_Transfer_Lap, 0x37),
    BYT(CMND_Transfer_Prx, 0x36),
    BYT(CMND_Transfer_Rte, 0x35),
    BYT(CMND_Transfer_Time, 0x34),
    BYT(CMND_Transfer_Trk, 0x33),
    BYT(CMND_Transfer_Wpt, 0x32),
    BYT(CMND_Turn_Off_Pwr, 0x31),
    BYT(CMND_Start_Pvt_Data, 0x30),
    BYT(CMND_Stop_Pvt_Data, 0x2F),
    BYT(CMND_Start_Async, 0x2E),
    BYT(CMND_Change_Baud, 0x05),
    BYT(PID_Command_Data, 0x2D),
    BYT(PID_Xfer_Cmplt, 0x2C),
    BYT(PID_Position_Data, 0x2B),
    BYT(PID_Date_Time, 0x2A),
    BYT(PID_Prx_Wpt_Data, 0x29),
    BYT(PID_Records, 0x28),
    BYT(PID_Rte_Wpt_Data, 0x27),
    BYT(PID_Almanac_Data, 0x26),
    BYT(PID_Trk_Data, 0x25),
    BYT(PID_Wpt_Data, 0x24),
    BYT(PID_Pvt_Data, 0x23),
    BYT(PID_Product_Rqst, 0x22),
    BYT(PID_Product_Data, 0x21),
    BYT(PID_Baud_Reply, 0x20),
    BYT(PID_Ack_Byte, 0x1F),
    BYT(PID_Nak_Byte, 0x1E),
    BYT(PID_Protocol_Array, 0x1D),
    BYT(PID_Rte_Hdr, 0x1B),
    BYT(PID_Trk_Hdr, 0x1A),
    BYT(PID_Lap, 0x19),
    BYT(PID_Sats, 0x18),
    BYT(PID_Flightbook_Record, 0x17),
    BYT(PID_Rte_Link, 0x16),
    BYT(PID_Voltages, 0x13),
    BYT(PID_Display_Data, 0x12),
    BYT(PID_Unit_ID, 0x0C),
    BYT(PID_Expanded_Packet, 0x08),
    Row{{"Incoming_Records_Count", D(0x1C), PropType::Int16, true, false}, &P::Incoming_Records_Count},
    Row{{"PID_Expanded_ID", D(0x0B), PropType::Int32, true, false}, &P::PID_Expanded_ID},
    Row{{"PID_Icon", D(0x0A), PropType::Int32, true, false}, &P::PID_Icon},
    Row{{"PID_Expanded_Length", D(0x09), PropType::Int32, true, false}, &P::PID_Expanded_Length},
    // The assign-only twin: it exists to refuse assignments.
    Row{{"PID_Expanded_Lengh", D(0x07), PropType::Int32, false, false}, &P::PID_Expanded_Length},
    Row{{"version", D(0x4E), PropType::Text, true, false}, NoMember{}},
    Row{{"Port", D(0x15), PropType::Int16, true, true}, &P::Port},
    Row{{"Settings", D(0x11), PropType::Text, true, true}, &P::Settings},
    Row{{"IgnoreCheckSum", D(0x14), PropType::Boolean, true, true}, &P::IgnoreCheckSum},
}};

#undef TXT
#undef BYT

const std::array<PropertyEntry, kRows.size()> kEntries = [] {
    std::array<PropertyEntry, kRows.size()> a{};
    for (std::size_t i = 0; i < kRows.size(); ++i) a[i] = kRows[i].e;
    return a;
}();

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

const Row* find_row(std::string_view name)
{
    for (const Row& r : kRows)
        if (iequals(r.e.name, name)) return &r;
    return nullptr;
}

[[noreturn]] void type_mismatch() { throw platform::VbError(13, "brenvik2006", "Type mismatch"); }
[[noreturn]] void overflow() { throw platform::VbError(6, "brenvik2006", "Overflow"); }

// A value as a whole number (VB coercion of the types the face passes).
std::int64_t as_integer(const PropValue& v)
{
    if (auto* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
    if (auto* u = std::get_if<std::uint8_t>(&v)) return *u;
    if (auto* s = std::get_if<std::int16_t>(&v)) return *s;
    if (auto* l = std::get_if<std::int32_t>(&v)) return *l;
    const std::string& t = std::get<std::string>(v);
    std::size_t a = t.find_first_not_of(' '), z = t.find_last_not_of(' ');
    if (a == std::string::npos) type_mismatch();
    std::int64_t out = 0;
    auto r = std::from_chars(t.data() + a, t.data() + z + 1, out);
    if (r.ec != std::errc() || r.ptr != t.data() + z + 1) type_mismatch();
    return out;
}

std::string as_text(const PropValue& v)
{
    if (auto* t = std::get_if<std::string>(&v)) return *t;
    if (auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    return std::to_string(as_integer(v));
}

} // namespace

void ProtocolProperties::apply_L001_ids()
{
    PID_Almanac_Data = 31;
    PID_Command_Data = 10;
    PID_Xfer_Cmplt = 12;
    PID_Date_Time = 14;
    PID_Position_Data = 17;
    PID_Prx_Wpt_Data = 19;
    PID_Records = 27;
    PID_Rte_Hdr = 29;
    PID_Rte_Wpt_Data = 30;
    PID_Wpt_Data = 35;
    CMND_Reset_Transfer = 0;
    CMND_Transfer_Alm = 1;
    CMND_Transfer_Prx = 3;
    CMND_Transfer_Rte = 4;
    CMND_Transfer_Time = 5;
    CMND_Transfer_Wpt = 7;
    CMND_Turn_Off_Pwr = 8;
}

void ProtocolProperties::apply_L002_ids()
{
    PID_Almanac_Data = 4;
    PID_Command_Data = 11;
    PID_Xfer_Cmplt = 12;
    PID_Date_Time = 20;
    PID_Position_Data = 24;
    PID_Prx_Wpt_Data = 27;
    PID_Records = 35;
    PID_Rte_Hdr = 37;
    // Route waypoints travel as ID 39 on the second link protocol (30 would
    // be read as a waypoint of no route at all).
    PID_Rte_Wpt_Data = 39;
    PID_Wpt_Data = 43;
    CMND_Reset_Transfer = 0;
    CMND_Transfer_Alm = 4;
    CMND_Transfer_Prx = 17;
    CMND_Transfer_Rte = 8;
    CMND_Transfer_Time = 20;
    CMND_Transfer_Wpt = 21;
    CMND_Turn_Off_Pwr = 26;
}

std::string version()
{
    return std::to_string(kMajor) + "." + std::to_string(kMinor) + "." + std::to_string(kRevision);
}

std::span<const PropertyEntry> property_table() { return kEntries; }

const PropertyEntry* find_property(std::string_view name)
{
    const Row* r = find_row(name);
    return r ? &r->e : nullptr;
}

const PropertyEntry* find_property(std::int32_t dispid)
{
    for (const Row& r : kRows)
        if (r.e.dispid == dispid && r.e.readable) return &r.e;
    for (const Row& r : kRows)
        if (r.e.dispid == dispid) return &r.e;
    return nullptr;
}

std::optional<PropValue> get_property(const ProtocolProperties& p, std::string_view name)
{
    const Row* r = find_row(name);
    if (!r || !r->e.readable) return std::nullopt;
    return std::visit(
        [&](auto m) -> PropValue {
            if constexpr (std::is_same_v<decltype(m), NoMember>)
                return version();
            else
                return p.*m;
        },
        r->m);
}

bool host_set_property(ProtocolProperties& p, std::string_view name, const PropValue& value, cSAK& sak)
{
    const Row* r = find_row(name);
    if (!r) return false;
    if (!r->e.host_settable)
        throw platform::VbError(383, "brenvik2006", sak.xLate("Property is Read Only"));
    if (r->m.index() == 1) {
        p.*std::get<1>(r->m) = as_text(value);
    } else if (r->m.index() == 3) {
        std::int64_t v = as_integer(value);
        if (v < std::numeric_limits<std::int16_t>::min() || v > std::numeric_limits<std::int16_t>::max())
            overflow();
        p.*std::get<3>(r->m) = static_cast<std::int16_t>(v);
    } else if (r->m.index() == 5) {
        bool b;
        if (auto* t = std::get_if<std::string>(&value)) {
            if (iequals(*t, "True"))
                b = true;
            else if (iequals(*t, "False"))
                b = false;
            else
                b = as_integer(value) != 0;
        } else {
            b = as_integer(value) != 0;
        }
        p.*std::get<5>(r->m) = b;
    }
    return true;
}

} // namespace brenvik
