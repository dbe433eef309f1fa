#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

const char* const kBar = "{0E2D1C3B-4A5F-4E6D-8C7B-9A0B1C2D3E4F}";

std::string temp_folder()
{
    char dir[] = "/tmp/registration-XXXXXX";
    return ::mkdtemp(dir) ? dir : "";
}

std::string library() { return std::filesystem::canonical(MAPHOST_STAND_IN).string(); }

} // namespace

TEST(ClassRegistryLibraries, EveryProgIdNamesTheLibraryFileWhateverItsPrefix)
{
    platform::ClassRegistry r;
    r.LoadLibrary(library());
    EXPECT_EQ(r.LibraryOf("STANDIN_LIB.clsMenu"), library());
    EXPECT_EQ(r.LibraryOf("standin_lib.CLSTHING"), library());
    EXPECT_EQ(r.LibraryOf(kBar), library());
    // Loaded by a relative path, the classes still name the full one.
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(library()).parent_path());
    platform::ClassRegistry relative;
    relative.LoadLibrary("./" + std::filesystem::path(library()).filename().string());
    std::filesystem::current_path(here);
    EXPECT_EQ(relative.LibraryOf("StandIn_Lib.clsQuiet"), library());
    EXPECT_EQ(r.ClassesIn("esri mx commandbars"), std::vector<std::string>{kBar});
    r.Register("Own.Thing", "", [] { return platform::ObjectRef(); });
    EXPECT_EQ(r.LibraryOf("Own.Thing"), "");
}

TEST(ClassRegistryLibraries, TheRegistrationFileLeadsLaterRegistriesToTheLibrary)
{
    const std::string file = temp_folder() + "/trekfold/registrations.ini";
    {
        platform::ClassRegistry r;
        r.UseRegistrationFile(file);
        r.RegisterInFile(MAPHOST_STAND_IN);
    }
    platform::Settings stored(file);
    EXPECT_EQ(stored.GetSetting("classes", "StandIn_Lib.clsThing"), library());
    EXPECT_EQ(stored.GetSetting("clsids", kBar), library());
    {
        platform::ClassRegistry r;
        EXPECT_THROW(r.CreateObject("StandIn_Lib.clsThing"), platform::VbError); // no file: not found
        r.UseRegistrationFile(file);
        EXPECT_EQ(r.ClassesIn("ESRI Mx CommandBars"), std::vector<std::string>{kBar});
        EXPECT_TRUE(r.CreateObject("STANDIN_LIB.CLSTHING"));
        EXPECT_EQ(r.LibraryOf("StandIn_Lib.clsThing"), library());
    }
    {
        platform::ClassRegistry r;
        r.UseRegistrationFile(file);
        r.UnregisterInFile(MAPHOST_STAND_IN);
    }
    platform::ClassRegistry after;
    after.UseRegistrationFile(file);
    EXPECT_TRUE(after.ClassesIn("ESRI Mx CommandBars").empty());
    try {
        after.CreateObject("StandIn_Lib.clsThing");
        ADD_FAILURE() << "created after unregistering";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 429);
    }
}
