#include "device/link/properties.h"
#include "device/link/translate.h"
#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace brenvik;

namespace {

std::string temp_dir()
{
    std::string t = (std::filesystem::temp_directory_path() / "linkprops.XXXXXX").string();
    return ::mkdtemp(t.data());
}

template <class T>
T get(const ProtocolProperties& p, const char* name)
{
    auto v = get_property(p, name);
    EXPECT_TRUE(v.has_value()) << name;
    return std::get<T>(*v);
}

} // namespace

TEST(ProtocolProperties, Defaults)
{
    ProtocolProperties p;
    EXPECT_EQ(get<std::string>(p, "Track_Transfer_Protocol"), "    ");
    EXPECT_EQ(get<std::string>(p, "WayPoint_Transfer_Protocol"), "A100");
    EXPECT_EQ(get<std::string>(p, "Link_Protocol"), "L001");
    EXPECT_EQ(get<std::string>(p, "Route_Wpt_Data_Format"), "D100");
    EXPECT_EQ(get<std::uint8_t>(p, "PID_Wpt_Data"), 35);
    EXPECT_EQ(get<std::uint8_t>(p, "PID_Product_Rqst"), 254);
    EXPECT_EQ(get<std::uint8_t>(p, "CMND_Start_Async"), 255);
    EXPECT_EQ(get<std::uint8_t>(p, "CMND_Change_Baud"), 48);
    EXPECT_EQ(get<std::uint8_t>(p, "PID_Expanded_Packet"), 123);
    EXPECT_EQ(get<std::int16_t>(p, "Incoming_Records_Count"), 0);
    EXPECT_EQ(get<std::int16_t>(p, "Port"), 1);
    EXPECT_EQ(get<std::string>(p, "Settings"), "9600,N,8,1");
    EXPECT_FALSE(get<bool>(p, "IgnoreCheckSum"));
    EXPECT_EQ(get<std::string>(p, "version"), "2.4.3");
    // Names ignore letter case; dispatch ids are 0x68030000 + n.
    EXPECT_EQ(get<std::uint8_t>(p, "pid_wpt_data"), 35);
    EXPECT_EQ(find_property(0x68030024)->name, std::string("PID_Wpt_Data"));
    EXPECT_EQ(find_property(0x68030009)->name, std::string("PID_Expanded_Length"));

    int refusing = 0;
    for (const PropertyEntry& e : property_table()) {
        ASSERT_NE(e.name, nullptr);
        if (!e.host_settable) ++refusing;
    }
    // Every read-only property, with the assign-only twin; the readable
    // PID_Expanded_Length refuses as well.
    EXPECT_EQ(refusing, 72);
}

TEST(ProtocolProperties, HostAssignments)
{
    ProtocolProperties p;
    cSAK sak;
    try {
        host_set_property(p, "PID_Wpt_Data", std::uint8_t{40}, sak);
        FAIL() << "no error";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 383);
        EXPECT_EQ(e.description, "Property is Read Only");
    }
    EXPECT_EQ(p.PID_Wpt_Data, 35);
    EXPECT_THROW(host_set_property(p, "version", std::string("9.9.9"), sak), platform::VbError);
    EXPECT_EQ(get<std::string>(p, "version"), "2.4.3");
    EXPECT_THROW(host_set_property(p, "PID_Expanded_Lengh", std::int32_t{5}, sak), platform::VbError);
    EXPECT_FALSE(get_property(p, "PID_Expanded_Lengh").has_value());
    EXPECT_THROW(host_set_property(p, "Track_Transfer_Protocol", std::string("A301"), sak), platform::VbError);
    EXPECT_EQ(p.Track_Transfer_Protocol, "    ");

    EXPECT_TRUE(host_set_property(p, "Port", std::int16_t{0}, sak));
    EXPECT_EQ(p.Port, 0);
    EXPECT_TRUE(host_set_property(p, "port", std::int32_t{3}, sak));
    EXPECT_EQ(p.Port, 3);
    EXPECT_TRUE(host_set_property(p, "Settings", std::string("4800,N,8,1"), sak));
    EXPECT_EQ(p.Settings, "4800,N,8,1");
    EXPECT_TRUE(host_set_property(p, "IgnoreCheckSum", true, sak));
    EXPECT_TRUE(p.IgnoreCheckSum);
    EXPECT_THROW(host_set_property(p, "Port", std::string("three"), sak), platform::VbError);
    EXPECT_THROW(host_set_property(p, "Port", std::int32_t{70000}, sak), platform::VbError);
    EXPECT_EQ(p.Port, 3);
    EXPECT_FALSE(host_set_property(p, "No_Such_Property", true, sak));
}

TEST(ProtocolProperties, RefusalIsTranslated)
{
    std::string dir = temp_dir();
    {
        std::ofstream f(dir + "/brenvik2006_Deutsch.tlt");
        f << "[Translations]\nproperty is read only=Eigenschaft ist schreibgeschützt\n";
    }
    ProtocolProperties p;
    cSAK sak;
    sak.set_folder(dir);
    sak.Language = "Deutsch";
    try {
        host_set_property(p, "PID_Ack_Byte", std::uint8_t{1}, sak);
        FAIL() << "no error";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 383);
        EXPECT_EQ(e.description, "Eigenschaft ist schreibgeschützt");
    }
    std::filesystem::remove_all(dir);
}

TEST(ProtocolProperties, SecondLinkProtocolIds)
{
    ProtocolProperties p;
    p.apply_L002_ids();
    EXPECT_EQ(p.PID_Almanac_Data, 4);
    EXPECT_EQ(p.PID_Command_Data, 11);
    EXPECT_EQ(p.PID_Xfer_Cmplt, 12);
    EXPECT_EQ(p.PID_Date_Time, 20);
    EXPECT_EQ(p.PID_Position_Data, 24);
    EXPECT_EQ(p.PID_Prx_Wpt_Data, 27);
    EXPECT_EQ(p.PID_Records, 35);
    EXPECT_EQ(p.PID_Rte_Hdr, 37);
    EXPECT_EQ(p.PID_Rte_Wpt_Data, 39);
    EXPECT_EQ(p.PID_Wpt_Data, 43);
    EXPECT_EQ(p.CMND_Transfer_Alm, 4);
    EXPECT_EQ(p.CMND_Transfer_Prx, 17);
    EXPECT_EQ(p.CMND_Transfer_Rte, 8);
    EXPECT_EQ(p.CMND_Transfer_Time, 20);
    EXPECT_EQ(p.CMND_Transfer_Wpt, 21);
    EXPECT_EQ(p.CMND_Turn_Off_Pwr, 26);
    EXPECT_EQ(p.PID_Trk_Data, 34);  // untouched
    p.apply_L001_ids();
    EXPECT_EQ(p.PID_Rte_Wpt_Data, 30);
    EXPECT_EQ(p.PID_Wpt_Data, 35);
    EXPECT_EQ(p.CMND_Turn_Off_Pwr, 8);
}
