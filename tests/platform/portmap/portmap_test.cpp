#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;
using ::testing::ElementsAre;

namespace {

struct Fixture : ::testing::Test {
    Fixture()
    {
        char tmpl[] = "/tmp/portmap-test-XXXXXX";
        root = ::mkdtemp(tmpl);
        fs::create_directories(root + "/dev");
        fs::create_directories(root + "/sys");
    }
    ~Fixture() override { fs::remove_all(root); }

    void touch(const std::string& rel) { std::ofstream(root + "/" + rel).put('x'); }
    // A ttyS port whose sysfs type says whether a UART is there.
    void serial(int n, int type)
    {
        touch("dev/ttyS" + std::to_string(n));
        fs::create_directories(root + "/sys/ttyS" + std::to_string(n));
        std::ofstream(root + "/sys/ttyS" + std::to_string(n) + "/type") << type << "\n";
    }
    platform::PortMap map(const platform::Settings* settings = nullptr)
    {
        return platform::PortMap(
            settings,
            [this](const std::string& n) -> std::optional<std::string> {
                auto it = env.find(n);
                if (it == env.end()) return std::nullopt;
                return it->second;
            },
            root + "/dev", root + "/sys");
    }

    std::string root;
    std::map<std::string, std::string> env;
};

TEST_F(Fixture, SystemDevicesInStableOrderWithoutPhantomUarts)
{
    serial(0, 4);  // a 16550A
    serial(1, 0);  // no hardware
    serial(10, 4);
    serial(2, 4);
    touch("dev/ttyUSB1");
    touch("dev/ttyUSB0");
    touch("dev/ttyACM0");
    touch("dev/ttyS"); // no number: not a port
    touch("dev/ttyUSBx");
    touch("dev/tty5");
    auto m = map();
    const std::string d = root + "/dev/";
    EXPECT_THAT(m.system_devices(), ElementsAre(d + "ttyS0", d + "ttyS2", d + "ttyS10", d + "ttyUSB0",
                                                d + "ttyUSB1", d + "ttyACM0"));
    EXPECT_EQ(m.device(1), d + "ttyS0");
    EXPECT_EQ(m.device(4), d + "ttyUSB0");
    EXPECT_EQ(m.device(6), d + "ttyACM0");
    EXPECT_EQ(m.device(7), std::nullopt);
    EXPECT_EQ(m.device(0), std::nullopt);
    EXPECT_EQ(m.device(-3), std::nullopt);
    EXPECT_TRUE(m.Port_Exists(6));
    EXPECT_FALSE(m.Port_Exists(7));
    EXPECT_FALSE(m.Port_Exists(0));
}

TEST_F(Fixture, EnvironmentFirstThenSettingsThenSystem)
{
    touch("dev/ttyUSB0");
    touch("pty-a");
    touch("pty-b");
    platform::Settings settings(root + "/trekfold.ini");
    settings.SaveSetting("ports", "COM1", root + "/pty-b");
    settings.SaveSetting("ports", "com2", root + "/pty-b");
    settings.SaveSetting("ports", "com3", "");
    env["TREKFOLD_COM1"] = root + "/pty-a";
    env["TREKFOLD_COM3"] = "";
    auto m = map(&settings);
    EXPECT_EQ(m.device(1), root + "/pty-a");
    EXPECT_EQ(m.device(2), root + "/pty-b");
    // Empty values do not count as a mapping.
    EXPECT_EQ(m.device(3), std::nullopt);
    EXPECT_TRUE(m.Port_Exists(1));
    env["TREKFOLD_COM2"] = root + "/gone";
    EXPECT_EQ(m.device(2), root + "/gone");
    EXPECT_FALSE(m.Port_Exists(2));
}

TEST_F(Fixture, MissingFoldersMeanNoPorts)
{
    platform::PortMap m(nullptr, [](const std::string&) { return std::nullopt; }, root + "/nodev", root + "/nosys");
    EXPECT_TRUE(m.system_devices().empty());
    EXPECT_FALSE(m.Port_Exists(1));
}

} // namespace
