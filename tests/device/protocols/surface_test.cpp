// The control's public surface: every member by name and dispatch
// identifier, read-only refusals, defaults, record objects, and creation by
// program identifier through the class registry.
#include "support.h"

#include "device/protocols/detail/record_objects.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>

namespace brenvik::test {
namespace {

using platform::CallByName;
using platform::GetByName;
using platform::IdOfName;
using platform::LetByName;
using platform::SetByName;
using platform::Variant;

struct Id {
    const char* name;
    std::int32_t dispid;
};

constexpr std::int32_t M(int n) { return 0x60030000 + n; }
constexpr std::int32_t O(int n) { return 0x40030000 + n; }
constexpr std::int32_t P(int n) { return 0x68030000 + n; }

// Every member of _Brenvik with its identifier, from the interface tables.
const Id kMembers[] = {
    {"FindBaud", M(0x54)}, {"PortOpen", M(0x55)}, {"PortClose", M(0x56)}, {"TrimNull", M(0x5D)},
    {"Reset", M(0x61)}, {"Address_Of", M(0x66)}, {"WaitFor", M(0x73)}, {"Request_Product_Data", M(0x75)},
    {"Start_of_Records", M(0x76)}, {"Power_Off", M(0x77)}, {"Request_Date_Time", M(0x78)},
    {"Pvt_Data_Start", M(0x79)}, {"Async_Start", M(0x7A)}, {"Pvt_Data_Stop", M(0x7B)}, {"Async_Stop", M(0x7C)},
    {"Request_Waypoints", M(0x7D)}, {"Request_Flightbook", M(0x7E)}, {"Request_Laps", M(0x7F)},
    {"Request_Prox_Waypoints", M(0x80)}, {"Request_Routes", M(0x81)}, {"Request_Tracks", M(0x82)},
    {"Send_Route_Header", M(0x87)}, {"Send_Track", M(0x88)}, {"Send_Flightbook_Record", M(0x89)},
    {"End_of_Records", M(0x8A)}, {"Send_Waypoint", M(0x96)}, {"Send_Prox_Waypoint", M(0x97)},
    {"Send_Route_Waypoint", M(0x98)}, {"NMEA_Checksum", M(0x99)}, {"Send_Track_Header", M(0x9A)},
    {"Send_Route_Link", M(0x9D)}, {"Request_Voltages", M(0x9E)}, {"Request_Display", M(0xA0)},
    {"Request_Almanac_Data", M(0xA5)}, {"Request_Position_Data", M(0xA6)}, {"Send_Almanac_Data", M(0xA7)},
    {"Send_Position_Data", M(0xA8)}, {"Request_Counts", M(0xA9)}, {"Send", M(0xB0)},
    {"Change_Baud_Rate", M(0xB3)}, {"Send_Lap", M(0xB7)}, {"Change_GPS_Name", M(0xB8)},
    {"Request_Icon", M(0xB9)}, {"Send_Icon", M(0xBA)}, {"xLate", M(0xBB)}, {"Request_GPS_Name", M(0xBC)},
    {"NMEA_Send", M(0xBD)}, {"tf_test", M(0xC0)},
    {"Waypoint", O(0x3)}, {"Route", O(0x5)}, {"Track", O(0x7)}, {"Position", O(0x9)}, {"PvtData", O(0xA)},
    {"Date_Time", O(0xB)}, {"Voltages", O(0xC)}, {"Display", O(0xD)}, {"Almanac", O(0xE)},
    {"Product_Data", O(0xF)}, {"Counts", O(0x10)}, {"Flightbook_Record", O(0x11)}, {"Lap", O(0x13)},
    {"Laps", O(0x14)}, {"sat", O(0x15)}, {"Sats", O(0x16)},
    {"Port", P(0x15)}, {"IgnoreCheckSum", P(0x14)}, {"Settings", P(0x11)}, {"UserFlowControl", P(0xE)},
    {"DebugLog", P(0xD)}, {"Time_Out", P(0x6)}, {"RTSEnable", P(0x4)}, {"DTREnable", P(0x3)},
    {"Handshaking", P(0x2)}, {"Language", P(0x1)}, {"Palette_File", P(0x0)},
    {"Link_Protocol", P(0x52)}, {"WayPoint_Transfer_Protocol", P(0x51)}, {"Laps_Transfer_Protocol", P(0x50)},
    {"Flightbook_Transfer_Protocol", P(0x4F)}, {"Route_Transfer_Protocol", P(0x4D)},
    {"Track_Transfer_Protocol", P(0x4C)}, {"Prox_Wpt_Transfer_Protocol", P(0x4B)},
    {"Waypoint_Data_Format", P(0x4A)}, {"Laps_Data_Format", P(0x49)}, {"Flightbook_Data_Format", P(0x48)},
    {"Route_Header_Format", P(0x47)}, {"Route_Link_Format", P(0x46)}, {"Route_Wpt_Data_Format", P(0x45)},
    {"Track_Header_Format", P(0x44)}, {"Track_Point_Format", P(0x43)}, {"Prox_Wpt_Data_Format", P(0x42)},
    {"Date_Data_Format", P(0x41)}, {"Date_Transfer_Protocol", P(0x40)}, {"Posn_Transfer_Protocol", P(0x3F)},
    {"Pvt_Transfer_Protocol", P(0x3E)}, {"Posn_Data_Format", P(0x3D)}, {"Pvt_Data_Format", P(0x3C)},
    {"Almanac_Transfer_Protocol", P(0x10)}, {"Almanac_Data_Format", P(0x0F)},
    {"CMND_Reset_Transfer", P(0x3B)}, {"CMND_Transfer_Alm", P(0x3A)}, {"CMND_Transfer_Posn", P(0x39)},
    {"CMND_Transfer_Flightbook", P(0x38)}, {"CMND_Transfer_Lap", P(0x37)}, {"CMND_Transfer_Prx", P(0x36)},
    {"CMND_Transfer_Rte", P(0x35)}, {"CMND_Transfer_Time", P(0x34)}, {"CMND_Transfer_Trk", P(0x33)},
    {"CMND_Transfer_Wpt", P(0x32)}, {"CMND_Turn_Off_Pwr", P(0x31)}, {"CMND_Start_Pvt_Data", P(0x30)},
    {"CMND_Stop_Pvt_Data", P(0x2F)}, {"CMND_Start_Async", P(0x2E)}, {"CMND_Change_Baud", P(0x05)},
    {"PID_Command_Data", P(0x2D)}, {"PID_Xfer_Cmplt", P(0x2C)}, {"PID_Position_Data", P(0x2B)},
    {"PID_Date_Time", P(0x2A)}, {"PID_Prx_Wpt_Data", P(0x29)}, {"PID_Records", P(0x28)},
    {"PID_Rte_Wpt_Data", P(0x27)}, {"PID_Almanac_Data", P(0x26)}, {"PID_Trk_Data", P(0x25)},
    {"PID_Wpt_Data", P(0x24)}, {"PID_Pvt_Data", P(0x23)}, {"PID_Product_Rqst", P(0x22)},
    {"PID_Product_Data", P(0x21)}, {"PID_Baud_Reply", P(0x20)}, {"PID_Ack_Byte", P(0x1F)},
    {"PID_Nak_Byte", P(0x1E)}, {"PID_Protocol_Array", P(0x1D)}, {"PID_Rte_Hdr", P(0x1B)},
    {"PID_Trk_Hdr", P(0x1A)}, {"PID_Lap", P(0x19)}, {"PID_Sats", P(0x18)}, {"PID_Flightbook_Record", P(0x17)},
    {"PID_Rte_Link", P(0x16)}, {"PID_Voltages", P(0x13)}, {"PID_Display_Data", P(0x12)},
    {"PID_Unit_ID", P(0x0C)}, {"PID_Expanded_Packet", P(0x08)}, {"Incoming_Records_Count", P(0x1C)},
    {"PID_Expanded_ID", P(0x0B)}, {"PID_Icon", P(0x0A)}, {"PID_Expanded_Length", P(0x09)},
    {"PID_Expanded_Lengh", P(0x07)}, {"version", P(0x4E)},
};

TEST(Surface, EveryMemberResolvesToItsDispatchIdentifier)
{
    Fixture f;
    EXPECT_EQ(std::size(kMembers), 48u + 16u + 11u + 71u + 1u);
    for (const Id& m : kMembers) {
        auto id = f.object->GetIDOfName(m.name);
        ASSERT_TRUE(id) << m.name;
        EXPECT_EQ(*id, m.dispid) << m.name;
        // Names resolve in any letter case.
        std::string upper = m.name;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(f.object->GetIDOfName(upper), id) << m.name;
    }
    EXPECT_FALSE(f.object->GetIDOfName("NoSuchMember"));
    std::vector<Variant> none;
    EXPECT_THROW(f.object->Invoke(0x60031234, platform::InvokeKind::Method, none), platform::VbError);
}

// The 71 names whose assignment is refused.
bool refuses(const std::string& name)
{
    static const char* settable[] = {"Port", "IgnoreCheckSum", "Settings", "UserFlowControl", "DebugLog",
                                     "Time_Out", "RTSEnable", "DTREnable", "Handshaking", "Language",
                                     "Palette_File", "PID_Expanded_Length"};
    if ((kMembers[0].dispid & 0xFFFF0000) == 0) return false;
    for (const char* s : settable)
        if (name == s) return false;
    return true;
}

TEST(Surface, AssigningAReadOnlyPropertyRaises383AndKeepsTheValue)
{
    Fixture f;
    int refused = 0;
    for (const Id& m : kMembers) {
        if ((m.dispid & 0xFFFF0000) != 0x68030000 || !refuses(m.name)) continue;
        ++refused;
        Variant before = m.name == std::string("PID_Expanded_Lengh") ? Variant() : GetByName(*f.object, m.name);
        try {
            LetByName(*f.object, m.name, Variant(std::int32_t(1)));
            ADD_FAILURE() << m.name << " accepted an assignment";
        } catch (const platform::VbError& e) {
            EXPECT_EQ(e.number, 383) << m.name;
            EXPECT_EQ(e.description, "Property is Read Only");
        }
        if (!before.IsEmpty()) EXPECT_EQ(GetByName(*f.object, m.name), before) << m.name;
    }
    EXPECT_EQ(refused, 71);
    EXPECT_EQ(GetByName(*f.object, "PID_Wpt_Data").ToInt32(), 35);
    EXPECT_EQ(GetByName(*f.object, "version").ToString(), "2.4.3");
    // PID_Expanded_Length has no assignment at all; its misspelt twin no reading.
    try {
        LetByName(*f.object, "PID_Expanded_Length", Variant(std::int32_t(1)));
        ADD_FAILURE();
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 450);
    }
    EXPECT_THROW(GetByName(*f.object, "PID_Expanded_Lengh"), platform::VbError);
}

TEST(Surface, StartUpDefaultsAndSettableProperties)
{
    Fixture f;
    platform::Dispatch& o = *f.object;
    EXPECT_EQ(GetByName(o, "Port").ToInt32(), 1);
    EXPECT_EQ(GetByName(o, "Settings").ToString(), "9600,N,8,1");
    EXPECT_EQ(GetByName(o, "Time_Out").ToInt32(), 2000);
    EXPECT_EQ(GetByName(o, "Language").ToString(), "English");
    EXPECT_FALSE(GetByName(o, "UserFlowControl").ToBool());
    EXPECT_FALSE(GetByName(o, "DebugLog").ToBool());
    EXPECT_FALSE(GetByName(o, "IgnoreCheckSum").ToBool());
    EXPECT_EQ(GetByName(o, "Handshaking").ToInt32(), 0);
    EXPECT_EQ(GetByName(o, "Track_Transfer_Protocol").ToString(), "    ");
    EXPECT_EQ(GetByName(o, "WayPoint_Transfer_Protocol").ToString(), "A100");
    EXPECT_EQ(GetByName(o, "Incoming_Records_Count").ToInt32(), 0);
    LetByName(o, "Port", Variant(std::int16_t(0)));
    LetByName(o, "Settings", Variant("4800,N,8,1"));
    LetByName(o, "Handshaking", Variant(std::int16_t(2)));
    LetByName(o, "RTSEnable", Variant(true));
    EXPECT_EQ(GetByName(o, "Port").ToInt32(), 0);
    EXPECT_EQ(f.control->Settings(), "4800,N,8,1");
    EXPECT_EQ(f.control->Handshaking(), comRTS);
    EXPECT_TRUE(f.control->RTSEnable());
    // Methods late-bound: by-reference argument, optional arguments.
    std::vector<Variant> args{Variant("  AB\0CD")};
    args[0] = Variant(std::string("  AB\0CD", 7));
    EXPECT_EQ(o.Invoke(IdOfName(o, "TrimNull"), platform::InvokeKind::Method, args).ToString(), "AB");
    EXPECT_EQ(args[0].ToString(), std::string("AB\0CD", 5));
    EXPECT_EQ(CallByName(o, "NMEA_Checksum", {Variant("$GPGLL,4916.45,N*")}).ToString(), "3B");
    EXPECT_EQ(CallByName(o, "Address_Of", {Variant(std::int32_t(77))}).ToInt32(), 77);
    EXPECT_THROW(CallByName(o, "FindBaud"), platform::VbError); // a required argument missing
}

TEST(Surface, LateBoundSendWritesBackTheCallersVariables)
{
    Fixture f;
    platform::Dispatch& o = *f.object;
    const platform::Bytes packet{0x10, 0x0A, 0x02, 0x07, 0x00, 0x00, 0x10, 0x03};
    // A reply wait of 0 waits Time_Out, and the caller's WaitTime reads it.
    std::vector<Variant> args{Variant(packet), Variant(std::uint8_t(6)), Variant(std::int32_t(0))};
    o.Invoke(IdOfName(o, "Send"), platform::InvokeKind::Method, args);
    EXPECT_EQ(args[2].ToInt32(), 2000);
    EXPECT_EQ(std::count(f.events.log.begin(), f.events.log.end(), "cError:0:No response from device"), 1);
    // Write_Only: the caller's Response comes back 0, and nothing is reported.
    f.events.log.clear();
    args = {Variant(packet), Variant(std::uint8_t(2)), Variant(std::int32_t(0))};
    o.Invoke(IdOfName(o, "Send"), platform::InvokeKind::Method, args);
    EXPECT_EQ(args[1].ToInt32(), 0);
    EXPECT_EQ(std::count(f.events.log.begin(), f.events.log.end(), "cError:0:No response from device"), 0);
}

TEST(Surface, RecordObjectsShareTheControlsRecords)
{
    Fixture f;
    platform::Dispatch& o = *f.object;
    auto wpt = GetByName(o, "Waypoint").ToObject();
    ASSERT_TRUE(wpt);
    LetByName(*wpt, "Ident", Variant("CAMP"));
    LetByName(*wpt, "Lat", Variant(45.5));
    LetByName(*wpt, "Smbl", Variant("18")); // coerced like the runtime does
    EXPECT_EQ(f.control->Waypoint()->Ident, "CAMP");
    EXPECT_EQ(f.control->Waypoint()->Smbl, 18);
    EXPECT_EQ(wpt->GetIDOfName("Wpt_Category"), 0x40030039);
    EXPECT_EQ(wpt->GetIDOfName("Ident"), 0x4003001D);
    // A new route has no Waypoints collection: an empty reference.
    auto rte = GetByName(o, "Route").ToObject();
    EXPECT_EQ(GetByName(*rte, "Waypoints").ToObject(), nullptr);
    EXPECT_EQ(rte->GetIDOfName("Waypoints"), 0x4003000D);
    // sat is Nothing until the host assigns one; Laps and Sats are made when read.
    EXPECT_EQ(GetByName(o, "sat").ToObject(), nullptr);
    EXPECT_EQ(GetByName(GetByName(o, "Laps").ToObject().operator*(), "Count").ToInt32(), 0);
    // Assigning by reference: another control object of the same class.
    SetByName(o, "Position", GetByName(o, "Position").ToObject());
    EXPECT_THROW(SetByName(o, "Position", wpt), platform::VbError); // wrong class
    // Collections handed to the host are the control's own.
    f.control->Dispatch_Packet(pkt(12, {7, 0}));
    auto list = Wrap_List(f.control->store().Waypoints);
    f.control->store().Waypoints->push_back(std::make_shared<cWaypoint>());
    EXPECT_EQ(GetByName(*list, "Count").ToInt32(), 1);
    CallByName(*list, "Remove", {Variant(std::int32_t(1))});
    EXPECT_TRUE(f.control->store().Waypoints->empty());
}

// Records late-bound events with their identifiers.
struct Late_Sink : platform::EventSink {
    std::vector<std::pair<platform::DispId, std::vector<Variant>>> calls;
    void Invoke(platform::DispId id, std::vector<Variant>& args) override { calls.emplace_back(id, args); }
};

TEST(Surface, LateBoundEventsCarryTheirIdentifiers)
{
    Fixture f;
    auto sink = std::make_shared<Late_Sink>();
    f.object->Advise(sink);
    f.control->Dispatch_Packet(pkt(12, {4, 0}));
    f.control->raise_cError(3, "x", Packet{1, 2});
    f.control->raise_NMEA("$GP", true);
    ASSERT_EQ(sink->calls.size(), 3u);
    EXPECT_EQ(sink->calls[0].first, 10);
    EXPECT_EQ(GetByName(*sink->calls[0].second[0].ToObject(), "Count").ToInt32(), 0);
    EXPECT_EQ(sink->calls[1].first, 5);
    EXPECT_EQ(sink->calls[1].second[2].ToBytes(), (platform::Bytes{1, 2}));
    EXPECT_EQ(sink->calls[2].first, 4);
    EXPECT_TRUE(sink->calls[2].second[1].ToBool());
}

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "control_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

TEST(Registry, CreatesTheControlByProgramIdentifierFromItsLibrary)
{
    app();
    platform::ClassRegistry registry;
    registry.AddFolder(TREKFOLD_BINARY_DIR "/bin");
    EXPECT_FALSE(registry.IsRegistered("brenvik2006.Brenvik"));
    auto obj = registry.CreateObject("BRENVIK2006.Brenvik");
    ASSERT_TRUE(obj);
    EXPECT_TRUE(registry.IsRegistered("{8655BD32-841A-4ED8-A67B-77EE1EE89B1C}"));
    EXPECT_EQ(registry.ClassIdOf("brenvik2006.Brenvik"), "{8655BD32-841A-4ED8-A67B-77EE1EE89B1C}");
    Brenvik* typed = As_Brenvik(obj.get());
    ASSERT_NE(typed, nullptr);
    typed->Port(7);
    EXPECT_EQ(GetByName(*obj, "Port").ToInt32(), 7); // one object, two faces
    try {
        registry.CreateObject("nosuchlib.Thing");
        ADD_FAILURE();
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 429);
    }
    EXPECT_THROW(registry.LoadLibrary("/nonexistent/libx.so"), platform::VbError);
}

TEST(Variant, CoercesAsTheRuntimeDoes)
{
    EXPECT_EQ(Variant(2.5).ToInt16(), 2);
    EXPECT_EQ(Variant(3.5).ToInt16(), 4);
    EXPECT_EQ(Variant(" 12 ").ToInt32(), 12);
    EXPECT_EQ(Variant("&H10").ToInt32(), 16);
    EXPECT_EQ(Variant(true).ToInt16(), -1);
    EXPECT_EQ(Variant("True").ToBool(), true);
    EXPECT_EQ(Variant().ToString(), "");
    EXPECT_EQ(Variant(0.1).ToString(), "0.1");
    EXPECT_EQ(Variant(false).ToString(), "False");
    auto code = [](auto f) {
        try {
            f();
        } catch (const platform::VbError& e) {
            return e.number;
        }
        return 0;
    };
    EXPECT_EQ(code([] { Variant(40000).ToInt16(); }), 6);
    EXPECT_EQ(code([] { Variant("abc").ToDouble(); }), 13);
    EXPECT_EQ(code([] { Variant(platform::NullValue{}).ToInt32(); }), 94);
    EXPECT_EQ(code([] { Variant(300).ToByte(); }), 6);
    platform::VariantArray a(0, 2, 1, 3);
    a.at(1, 3) = Variant("x");
    Variant v(a);
    Variant copy = v;
    copy.ArrayRef().at(1, 3) = Variant("y"); // arrays copy by value
    EXPECT_EQ(v.ToArray().at(1, 3).ToString(), "x");
    EXPECT_EQ(v.ToArray().UBound(2), 3);
    EXPECT_EQ(code([&] { v.ToArray().at(2, 1); }), 9);
    platform::VariantArray bytes(0, 2);
    bytes.at(0) = Variant(std::int32_t(16));
    bytes.at(1) = Variant("3");
    EXPECT_EQ(Variant(bytes).ToBytes(), (platform::Bytes{16, 3}));
}

} // namespace
} // namespace brenvik::test
